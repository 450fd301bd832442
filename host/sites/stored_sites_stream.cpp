// Reads the nested tree under "sitesData" of a settings text without building JSON values.
#include "host/sites/sites_document.h"
#include "host/sites/sites_stream.h"

#include <cstdint>

namespace kovrkit {

namespace {

using json = nlohmann::json;

enum class Member : std::uint8_t {
    name,
    description,
    ip,
    username,
    password,
    folders,
    devices,
    schemaVersion,
    sitesData,
    nodeMapMarker, // a member that only a node map has
    other,
};

struct Frame {
    enum class Kind : std::uint8_t { settings, folder, folderList, deviceList, device };
    Kind kind;
    FolderEntry* folder = nullptr;
    DeviceEntry* device = nullptr;
    std::size_t folderDepth = 0;
    Member member = Member::other;
    unsigned membersSeen = 0;
};

Member memberNamed(Frame::Kind kind, bool isRoot, const std::string& key)
{
    if (kind == Frame::Kind::settings)
        return key == "sitesData" ? Member::sitesData : Member::other;
    const bool isDevice = kind == Frame::Kind::device;
    if (key == "name")
        return Member::name;
    if (key == "description")
        return Member::description;
    if (isDevice) {
        if (key == "ip")
            return Member::ip;
        if (key == "username")
            return Member::username;
        if (key == "password")
            return Member::password;
        return Member::other;
    }
    if (key == "folders")
        return Member::folders;
    if (key == "devices")
        return Member::devices;
    if (isRoot && key == "schemaVersion")
        return Member::schemaVersion;
    if (isRoot && (key == "rootId" || key == "nodes"))
        return Member::nodeMapMarker;
    return Member::other;
}

class StoredSitesHandler {
public:
    std::optional<FolderEntry> root;

    bool null()
    {
        if (skipDepth_ > 0)
            return true;
        if (!isReadingMember())
            return false;
        // A null text member reads as empty text; nothing else may be null.
        const Member member = top().member;
        return member == Member::other || (member != Member::name && setText({}));
    }
    bool boolean(bool)
    {
        return skipDepth_ > 0 || (isReadingMember() && top().member == Member::other);
    }
    bool number_integer(json::number_integer_t) { return number(); }
    bool number_unsigned(json::number_unsigned_t) { return number(); }
    bool number_float(json::number_float_t, const std::string&) { return number(); }
    bool binary(json::binary_t&) { return false; }

    bool string(std::string& text)
    {
        if (skipDepth_ > 0)
            return true;
        if (!isReadingMember())
            return false;
        return top().member == Member::other || setText(std::move(text));
    }

    bool key(std::string& name)
    {
        if (skipDepth_ > 0)
            return true;
        Frame& frame = top();
        const bool isRoot = stack_.size() == 2 && frame.kind == Frame::Kind::folder;
        frame.member = memberNamed(frame.kind, isRoot, name);
        if (frame.member == Member::other)
            return true;
        if (frame.member == Member::nodeMapMarker)
            return false;
        const auto bit = 1u << static_cast<unsigned>(frame.member);
        if (frame.membersSeen & bit)
            return false;
        frame.membersSeen |= bit;
        return true;
    }

    bool start_object(std::size_t)
    {
        if (skipDepth_ > 0)
            return ++skipDepth_, true;
        if (stack_.empty()) {
            stack_.push_back({ Frame::Kind::settings });
            return true;
        }
        Frame& frame = top();
        switch (frame.kind) {
        case Frame::Kind::folderList:
            if (frame.folderDepth > kMaxFolderDepth)
                return false;
            frame.folder->folders.emplace_back();
            stack_.push_back(
                { Frame::Kind::folder, &frame.folder->folders.back(), nullptr, frame.folderDepth });
            return true;
        case Frame::Kind::deviceList:
            frame.folder->devices.emplace_back();
            stack_.push_back({ Frame::Kind::device, frame.folder, &frame.folder->devices.back() });
            return true;
        case Frame::Kind::settings:
            if (frame.member == Member::sitesData) {
                root.emplace();
                stack_.push_back({ Frame::Kind::folder, &*root, nullptr, 0 });
                return true;
            }
            return skipUnread();
        default:
            return skipUnread();
        }
    }

    bool start_array(std::size_t)
    {
        if (skipDepth_ > 0)
            return ++skipDepth_, true;
        if (stack_.empty())
            return false;
        Frame& frame = top();
        if (frame.kind == Frame::Kind::folder && frame.member == Member::folders) {
            stack_.push_back(
                { Frame::Kind::folderList, frame.folder, nullptr, frame.folderDepth + 1 });
            return true;
        }
        if (frame.kind == Frame::Kind::folder && frame.member == Member::devices) {
            stack_.push_back({ Frame::Kind::deviceList, frame.folder });
            return true;
        }
        return skipUnread();
    }

    bool end_object()
    {
        if (skipDepth_ > 0)
            return --skipDepth_, true;
        const Frame frame = top();
        stack_.pop_back();
        if (frame.kind == Frame::Kind::device)
            return hasUsableName(frame, frame.device->name);
        if (frame.kind != Frame::Kind::folder)
            return true;
        const bool isRoot = stack_.size() == 1;
        if (isRoot && !(frame.membersSeen & nameBit())) {
            frame.folder->name = "Sites";
            return true;
        }
        return hasUsableName(frame, frame.folder->name);
    }

    bool end_array()
    {
        if (skipDepth_ > 0)
            return --skipDepth_, true;
        stack_.pop_back();
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&)
    {
        return false;
    }

private:
    Frame& top() { return stack_.back(); }
    static unsigned nameBit() { return 1u << static_cast<unsigned>(Member::name); }

    static bool hasUsableName(const Frame& frame, const std::string& name)
    {
        return (frame.membersSeen & nameBit()) && !trimBlank(name).empty();
    }

    // A container where a read member or list element belongs is a shape for the general
    // reader; under a member nobody reads it is skipped whole.
    bool skipUnread()
    {
        const Frame& frame = top();
        const bool isList
            = frame.kind == Frame::Kind::folderList || frame.kind == Frame::Kind::deviceList;
        if (isList || frame.member != Member::other)
            return false;
        skipDepth_ = 1;
        return true;
    }

    // Scalars belong to object members; a scalar as the whole text or as a list element is a
    // shape for the general reader.
    bool isReadingMember()
    {
        return !stack_.empty() && top().kind != Frame::Kind::folderList
            && top().kind != Frame::Kind::deviceList;
    }

    bool number()
    {
        if (skipDepth_ > 0)
            return true;
        return isReadingMember()
            && (top().member == Member::other || top().member == Member::schemaVersion);
    }

    bool setText(std::string&& text)
    {
        Frame& frame = top();
        std::string* target = nullptr;
        switch (frame.member) {
        case Member::name:
            target = frame.device ? &frame.device->name : &frame.folder->name;
            break;
        case Member::description:
            target = frame.device ? &frame.device->description : &frame.folder->description;
            break;
        case Member::ip:
            target = &frame.device->ip;
            break;
        case Member::username:
            target = &frame.device->username;
            break;
        case Member::password:
            target = &frame.device->password;
            break;
        default:
            return false;
        }
        *target = std::move(text);
        return true;
    }

    std::vector<Frame> stack_;
    int skipDepth_ = 0;
};

} // namespace

std::optional<FolderEntry> streamStoredSites(std::string_view settingsText)
{
    StoredSitesHandler handler;
    if (!json::sax_parse(settingsText, &handler))
        return std::nullopt;
    return std::move(handler.root);
}

} // namespace kovrkit
