// How many folders and devices a node map holds once every folder is counted once per place
// it is listed, the way a save expands it (a long text counting as several). A few hundred bytes of
// node map can list a folder from two parents on each of twenty levels: a million entries that the
// save builds and writes (its size limits are tested in the unit tests). The sites targets leave
// such inputs out, since one of them takes minutes under the sanitizers.
#pragma once

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace kovru_fuzz {

class NodeMapExpansion {
public:
    explicit NodeMapExpansion(const nlohmann::json& document)
    {
        const auto nodes = document.find("nodes");
        if (document.is_object() && nodes != document.end() && nodes->is_object())
            nodes_ = &*nodes;
    }

    // The expanded count of the folder under id, stopping just past `most`.
    std::size_t of(const std::string& id, std::size_t most, std::size_t depth = 0)
    {
        // A save refuses folders nested deeper than kMaxFolderDepth.
        if (!nodes_ || depth > 1024)
            return 0;
        const auto node = nodes_->find(id);
        if (node == nodes_->end() || !node->is_object())
            return 0;
        const auto known = counted_.find(id);
        if (known != counted_.end())
            return known->second;
        if (!onPath_.insert(id).second)
            return 0;
        std::size_t count = 1 + textBytes(*node) / kBytesPerEntry;
        const auto children = node->find("children");
        if (children != node->end() && children->is_array()) {
            for (const auto& child : *children) {
                if (child.is_string())
                    count
                        = std::min(count + of(child.get<std::string>(), most, depth + 1), most + 1);
            }
        }
        onPath_.erase(id);
        counted_.emplace(id, count);
        return count;
    }

private:
    // Long texts count as more entries: writing them costs as much.
    static constexpr std::size_t kBytesPerEntry = 100;

    static std::size_t textBytes(const nlohmann::json& node)
    {
        std::size_t bytes = 0;
        for (const auto& member : node)
            bytes += member.is_string() ? member.get_ref<const std::string&>().size() : 0;
        return bytes;
    }

    const nlohmann::json* nodes_ = nullptr;
    std::unordered_map<std::string, std::size_t> counted_;
    std::unordered_set<std::string> onPath_;
};

// True when the node map's root expands to more than `most` entries.
inline bool expandsBeyond(const nlohmann::json& document, std::size_t most)
{
    if (!document.is_object())
        return false;
    const auto rootId = document.find("rootId");
    if (rootId == document.end() || !rootId->is_string())
        return false;
    return NodeMapExpansion(document).of(rootId->get<std::string>(), most) > most;
}

} // namespace kovru_fuzz
