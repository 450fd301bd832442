// What a save would build of a node map, every folder counted once per place it is listed. A
// few hundred bytes of node map can list a folder from two parents on each of twenty levels: a
// tree of close to the save's limit of a million entries, which the save builds and writes as
// it should but which takes minutes under the sanitizers. The sites targets leave out the node
// maps a save would accept and that cost more than a fuzz run affords; those the save refuses
// for their size are refused before anything is built, and stay in.
#pragma once

#include "host/sites/sites_document.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace kovru_fuzz {

// Entries, the bytes of their texts and of their indentation below the folder, as the save
// measures them (each capped just past the save's limit).
struct Expansion {
    std::size_t entries = 0;
    std::size_t textBytes = 0;
    std::size_t indentBytes = 0;

    void addBelow(const Expansion& child)
    {
        entries = std::min(entries + child.entries, kovrkit::kMaxExpandedSitesNodes + 1);
        textBytes = std::min(textBytes + child.textBytes, kovrkit::kMaxExpandedSitesTextBytes + 1);
        indentBytes = std::min(indentBytes + child.indentBytes + child.entries * 24,
            kovrkit::kMaxExpandedSitesIndentBytes + 1);
    }
    bool refused() const
    {
        return entries > kovrkit::kMaxExpandedSitesNodes
            || textBytes > kovrkit::kMaxExpandedSitesTextBytes
            || indentBytes > kovrkit::kMaxExpandedSitesIndentBytes;
    }
};

class NodeMapExpansion {
public:
    explicit NodeMapExpansion(const nlohmann::json& document)
    {
        const auto nodes = document.find("nodes");
        if (document.is_object() && nodes != document.end() && nodes->is_object())
            nodes_ = &*nodes;
    }

    Expansion of(const std::string& id, std::size_t depth = 0)
    {
        // A save refuses folders nested deeper than kMaxFolderDepth.
        if (!nodes_ || depth > 2 * kovrkit::kMaxFolderDepth)
            return {};
        const auto node = nodes_->find(id);
        if (node == nodes_->end() || !node->is_object())
            return {};
        const auto known = counted_.find(id);
        if (known != counted_.end())
            return known->second;
        const auto type = node->find("type");
        const bool folder = type != node->end() && *type == "folder";
        if (!folder) {
            const bool device = type != node->end() && *type == "device";
            return device ? Expansion { 1, textBytes(*node), 0 } : Expansion {};
        }
        if (!onPath_.insert(id).second)
            return {};
        Expansion size { 1, textBytes(*node), 0 };
        const auto children = node->find("children");
        if (children != node->end() && children->is_array()) {
            for (const auto& child : *children) {
                if (child.is_string())
                    size.addBelow(of(child.get<std::string>(), depth + 1));
            }
        }
        onPath_.erase(id);
        counted_.emplace(id, size);
        return size;
    }

private:
    static std::size_t textBytes(const nlohmann::json& node)
    {
        std::size_t bytes = 0;
        for (const char* key : { "name", "description", "ip", "username", "password" }) {
            const auto member = node.find(key);
            if (member != node.end() && member->is_string())
                bytes += member->get_ref<const std::string&>().size();
        }
        return bytes;
    }

    const nlohmann::json* nodes_ = nullptr;
    std::unordered_map<std::string, Expansion> counted_;
    std::unordered_set<std::string> onPath_;
};

// True when a save would accept the node map and build more than `most` entries, every 100
// bytes of text or indentation counting as one more.
inline bool expandsBeyond(const nlohmann::json& document, std::size_t most)
{
    if (!document.is_object())
        return false;
    const auto rootId = document.find("rootId");
    if (rootId == document.end() || !rootId->is_string())
        return false;
    const Expansion size = NodeMapExpansion(document).of(rootId->get<std::string>());
    return !size.refused() && size.entries + (size.textBytes + size.indentBytes) / 100 > most;
}

} // namespace kovru_fuzz
