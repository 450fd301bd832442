// Reads a node-map document from text into a NodeMap without building JSON values.
#include "host/sites/sites_stream.h"

#include <cstdint>

namespace kovrkit {

namespace {

using json = nlohmann::json;

// Container depths that matter; every other container is skipped whole.
constexpr int kDocumentDepth = 1; // members of the document
constexpr int kNodesDepth = 2; // entries of "nodes"
constexpr int kNodeDepth = 3; // members of one node
constexpr int kChildrenDepth = 4; // ids in "children"

enum class NodeMember : std::uint8_t {
    type,
    name,
    description,
    ip,
    username,
    password,
    children,
    other
};

NodeMember nodeMemberNamed(const std::string& key)
{
    static const std::pair<std::string_view, NodeMember> known[] = {
        { "type", NodeMember::type },
        { "name", NodeMember::name },
        { "description", NodeMember::description },
        { "ip", NodeMember::ip },
        { "username", NodeMember::username },
        { "password", NodeMember::password },
        { "children", NodeMember::children },
    };
    for (const auto& [name, member] : known)
        if (key == name)
            return member;
    return NodeMember::other;
}

class NodeMapHandler {
public:
    NodeMap map;

    bool complete() const
    {
        if (!sawVersion_ || !sawRootId_ || !sawNodes_ || map.rootId.empty())
            return false;
        const auto root = map.nodes.find(map.rootId);
        return root != map.nodes.end() && root->second.type == "folder" && root->second.children;
    }

    bool null() { return scalar(); }
    bool boolean(bool) { return scalar(); }
    bool number_integer(json::number_integer_t) { return number(); }
    bool number_unsigned(json::number_unsigned_t) { return number(); }
    bool number_float(json::number_float_t, const std::string&) { return number(); }
    bool binary(json::binary_t&) { return false; }

    bool string(std::string& text)
    {
        if (skipDepth_ > 0)
            return true;
        switch (depth_) {
        case kDocumentDepth:
            if (topKey_ == "rootId") {
                if (sawRootId_)
                    return false;
                sawRootId_ = true;
                map.rootId = std::move(text);
                return true;
            }
            return !isDocumentMember();
        case kNodeDepth:
            return setNodeText(std::move(text));
        case kChildrenDepth:
            node_->children->push_back(std::move(text));
            return true;
        default:
            return false;
        }
    }

    bool start_object(std::size_t) { return startContainer(false); }
    bool start_array(std::size_t) { return startContainer(true); }
    bool end_object() { return endContainer(); }
    bool end_array() { return endContainer(); }

    bool key(std::string& name)
    {
        if (skipDepth_ > 0)
            return true;
        if (depth_ == kDocumentDepth) {
            topKey_ = std::move(name);
        } else if (depth_ == kNodesDepth) {
            nodeId_ = std::move(name);
        } else {
            member_ = nodeMemberNamed(name);
            if (member_ != NodeMember::other) {
                const auto bit = 1u << static_cast<unsigned>(member_);
                if (membersSeen_ & bit)
                    return false;
                membersSeen_ |= bit;
            }
        }
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&)
    {
        return false;
    }

private:
    bool isDocumentMember() const
    {
        return topKey_ == "version" || topKey_ == "rootId" || topKey_ == "nodes";
    }

    // Scalars other than strings are usable only as "version"; elsewhere they mean a shape
    // the general reader must judge, unless they sit under a member nobody reads.
    bool scalar()
    {
        if (skipDepth_ > 0)
            return true;
        if (depth_ == kDocumentDepth)
            return !isDocumentMember();
        return depth_ == kNodeDepth && member_ == NodeMember::other;
    }

    bool number()
    {
        if (skipDepth_ == 0 && depth_ == kDocumentDepth && topKey_ == "version") {
            if (sawVersion_)
                return false;
            sawVersion_ = true;
            return true;
        }
        return scalar();
    }

    bool setNodeText(std::string&& text)
    {
        std::optional<std::string>* target = nullptr;
        switch (member_) {
        case NodeMember::type:
            target = &node_->type;
            break;
        case NodeMember::name:
            target = &node_->name;
            break;
        case NodeMember::description:
            target = &node_->description;
            break;
        case NodeMember::ip:
            target = &node_->ip;
            break;
        case NodeMember::username:
            target = &node_->username;
            break;
        case NodeMember::password:
            target = &node_->password;
            break;
        case NodeMember::children:
            return false;
        case NodeMember::other:
            return true;
        }
        *target = std::move(text);
        return true;
    }

    bool startContainer(bool isArray)
    {
        if (skipDepth_ > 0) {
            ++skipDepth_;
            return true;
        }
        const int parentDepth = depth_++;
        switch (parentDepth) {
        case 0:
            return !isArray;
        case kDocumentDepth:
            if (topKey_ != "nodes")
                return skipUnlessMember(isDocumentMember());
            if (isArray || sawNodes_)
                return false;
            sawNodes_ = true;
            return true;
        case kNodesDepth:
            return !isArray && startNode();
        case kNodeDepth:
            if (member_ == NodeMember::children && isArray) {
                node_->children.emplace();
                return true;
            }
            return skipUnlessMember(member_ != NodeMember::other);
        default:
            return false;
        }
    }

    // A container under a member nobody reads is skipped whole.
    bool skipUnlessMember(bool isReadMember)
    {
        if (isReadMember)
            return false;
        --depth_;
        skipDepth_ = 1;
        return true;
    }

    bool startNode()
    {
        const auto [entry, added] = map.nodes.try_emplace(std::move(nodeId_));
        node_ = &entry->second;
        membersSeen_ = 0;
        member_ = NodeMember::other;
        return added;
    }

    bool endContainer()
    {
        if (skipDepth_ > 0)
            --skipDepth_;
        else
            --depth_;
        return true;
    }

    int depth_ = 0;
    int skipDepth_ = 0;
    std::string topKey_;
    std::string nodeId_;
    MapNode* node_ = nullptr;
    NodeMember member_ = NodeMember::other;
    unsigned membersSeen_ = 0;
    bool sawVersion_ = false;
    bool sawRootId_ = false;
    bool sawNodes_ = false;
};

} // namespace

std::optional<NodeMap> streamNodeMap(std::string_view documentText)
{
    NodeMapHandler handler;
    if (!json::sax_parse(documentText, &handler) || !handler.complete())
        return std::nullopt;
    return std::move(handler.map);
}

} // namespace kovrkit
