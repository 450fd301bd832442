#include "host/sites/sites_document.h"

namespace kovrkit {

using nlohmann::json;

std::string stringOr(const json& value, std::string_view key, std::string_view fallback)
{
    if (!value.is_object())
        return std::string(fallback);
    const auto member = value.find(key);
    if (member == value.end() || !member->is_string())
        return std::string(fallback);
    return member->get_ref<const std::string&>();
}

std::string_view trimBlank(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool isValidSitesDocument(const json& document)
{
    if (!document.is_object())
        return false;
    const auto version = document.find("version");
    if (version == document.end() || !version->is_number())
        return false;
    const auto rootId = document.find("rootId");
    if (rootId == document.end() || !rootId->is_string()
        || rootId->get_ref<const std::string&>().empty())
        return false;
    const auto nodes = document.find("nodes");
    if (nodes == document.end() || !nodes->is_object())
        return false;
    const auto root = nodes->find(rootId->get_ref<const std::string&>());
    if (root == nodes->end() || !root->is_object())
        return false;
    const auto type = root->find("type");
    if (type == root->end() || !type->is_string() || *type != "folder")
        return false;
    const auto children = root->find("children");
    return children != root->end() && children->is_array();
}

json defaultSitesDocument()
{
    json root = {
        { "id", "root" },
        { "type", "folder" },
        { "name", "Sites" },
        { "description", "" },
        { "children", json::array() },
    };
    json document = { { "version", 1 }, { "rootId", "root" }, { "nodes", json::object() } };
    document["nodes"]["root"] = std::move(root);
    return document;
}

} // namespace kovrkit
