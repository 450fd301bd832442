#include "host/sites/stored_sites_judge.h"

#include "host/sites/sites_document.h"

#include <string_view>
#include <vector>

namespace kovrkit {

namespace {

enum class Kind { sites, folder, device, folders, devices };

// The members the checks look at; any other member may hold anything.
enum Member : unsigned {
    unknown = 0,
    name = 1u << 0,
    description = 1u << 1,
    folders = 1u << 2,
    devices = 1u << 3,
    schemaVersion = 1u << 4,
    ip = 1u << 5,
    username = 1u << 6,
    password = 1u << 7,
};

Member memberOf(Kind kind, std::string_view key)
{
    if (key == "name")
        return Member::name;
    if (key == "description")
        return Member::description;
    if (kind == Kind::device) {
        if (key == "ip")
            return Member::ip;
        if (key == "username")
            return Member::username;
        if (key == "password")
            return Member::password;
        return Member::unknown;
    }
    if (key == "folders")
        return Member::folders;
    if (key == "devices")
        return Member::devices;
    if (kind == Kind::sites && key == "schemaVersion")
        return Member::schemaVersion;
    return Member::unknown;
}

struct Frame {
    Kind kind;
    unsigned seen = 0;
};

class StoredSitesJudge final : public MemberEvents {
public:
    bool null() override { return scalar(Scalar::null); }
    bool boolean() override { return scalar(Scalar::other); }
    bool number() override { return scalar(Scalar::number); }
    bool string(const std::string& value) override
    {
        blank_ = trimBlank(value).empty();
        return scalar(Scalar::text);
    }

    bool key(const std::string& text) override
    {
        if (skipDepth_ > 0)
            return true;
        Frame& top = frames_.back();
        pending_ = memberOf(top.kind, text);
        if (top.seen & pending_)
            return false; // the general check keeps the last of repeated members
        top.seen |= pending_;
        return true;
    }

    bool startContainer(bool object) override
    {
        if (skipDepth_ > 0) {
            ++skipDepth_;
            return true;
        }
        if (frames_.empty()) {
            frames_.push_back({ Kind::sites });
            return object;
        }
        const Kind top = frames_.back().kind;
        if (top == Kind::folders || top == Kind::devices) {
            if (!object)
                return false;
            if (top == Kind::folders && ++folderDepth_ > kMaxFolderDepth)
                return false;
            frames_.push_back({ top == Kind::folders ? Kind::folder : Kind::device });
            return true;
        }
        const Member member = taken();
        if (member == Member::unknown) {
            skipDepth_ = 1;
            return true;
        }
        if (object || (member != Member::folders && member != Member::devices))
            return false;
        frames_.push_back({ member == Member::folders ? Kind::folders : Kind::devices });
        return true;
    }

    bool endContainer() override
    {
        if (skipDepth_ > 0) {
            --skipDepth_;
            return true;
        }
        const Frame frame = frames_.back();
        frames_.pop_back();
        if (frame.kind == Kind::folder)
            --folderDepth_;
        if ((frame.kind == Kind::folder || frame.kind == Kind::device)
            && !(frame.seen & Member::name))
            return false;
        approved_ = frames_.empty();
        return true;
    }

    bool approved() const override { return approved_; }

private:
    enum class Scalar { null, number, text, other };

    Member taken()
    {
        const Member member = pending_;
        pending_ = Member::unknown;
        return member;
    }

    bool scalar(Scalar type)
    {
        if (skipDepth_ > 0)
            return true;
        if (frames_.empty())
            return false;
        const Kind top = frames_.back().kind;
        if (top == Kind::folders || top == Kind::devices)
            return false;
        switch (taken()) {
        case Member::unknown:
            return true;
        case Member::name:
            return type == Scalar::text && !blank_;
        case Member::schemaVersion:
            return type == Scalar::number;
        case Member::folders:
        case Member::devices:
            return false;
        default: // description, ip, username, password
            return type == Scalar::text || type == Scalar::null;
        }
    }

    std::vector<Frame> frames_;
    Member pending_ = Member::unknown;
    std::size_t folderDepth_ = 0;
    int skipDepth_ = 0;
    bool blank_ = false;
    bool approved_ = false;
};

} // namespace

std::unique_ptr<MemberEvents> storedSitesJudge()
{
    return std::make_unique<StoredSitesJudge>();
}

} // namespace kovrkit
