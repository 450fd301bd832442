#include "host/sites/fresh_ids.h"

namespace kovrkit {

namespace {

class Numbering {
public:
    std::vector<NumberedNode> nodes;

    // Adds the folder's contents; the folder itself is nodes[index].
    void addContents(const FolderEntry& folder, std::size_t index)
    {
        for (const auto& child : folder.folders) {
            const std::size_t childIndex = nodes.size();
            nodes.push_back({ "folder-" + std::to_string(nextFolder_++), &child, nullptr, {} });
            nodes[index].children.push_back(nodes[childIndex].id);
            addContents(child, childIndex);
        }
        for (const auto& device : folder.devices) {
            nodes.push_back({ "device-" + std::to_string(nextDevice_++), nullptr, &device, {} });
            nodes[index].children.push_back(nodes.back().id);
        }
    }

private:
    unsigned long nextFolder_ = 1;
    unsigned long nextDevice_ = 1;
};

} // namespace

std::vector<NumberedNode> numberNodes(const FolderEntry& root)
{
    Numbering numbering;
    numbering.nodes.push_back({ "root", &root, nullptr, {} });
    numbering.addContents(root, 0);
    return std::move(numbering.nodes);
}

} // namespace kovrkit
