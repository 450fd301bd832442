#include "host/sites/sites_text.h"

#include "host/sites/fresh_ids.h"
#include "host/text/utf8_text.h"

#include <algorithm>

namespace kovrkit {

namespace {

void appendEscapedControl(std::string& out, unsigned char code)
{
    switch (code) {
    case '\b':
        out += "\\b";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\r':
        out += "\\r";
        return;
    default:
        break;
    }
    constexpr char hex[] = "0123456789abcdef";
    out += "\\u00";
    out += hex[code >> 4];
    out += hex[code & 0xF];
}

void appendIndent(std::string& out, std::size_t spaces)
{
    out.append(spaces, ' ');
}

// "key": value for an indented object member, the value still to be appended.
void appendMemberStart(std::string& out, std::string_view key, std::size_t indent, bool first)
{
    out += first ? "\n" : ",\n";
    appendIndent(out, indent);
    out += '"';
    out += key;
    out += "\": ";
}

void appendIndentedString(std::string& out, std::string_view key, std::string_view value,
    std::size_t indent, bool first = false)
{
    appendMemberStart(out, key, indent, first);
    appendJsonString(out, value);
}

void appendStoredDevice(std::string& out, const DeviceEntry& device, std::size_t indent)
{
    const std::size_t inner = indent + 2;
    out += '{';
    appendIndentedString(out, "description", device.description, inner, true);
    appendIndentedString(out, "ip", device.ip, inner);
    appendIndentedString(out, "name", device.name, inner);
    appendIndentedString(out, "password", device.password, inner);
    appendIndentedString(out, "username", device.username, inner);
    out += '\n';
    appendIndent(out, indent);
    out += '}';
}

template <typename Entry, typename AppendEntry>
void appendIndentedArray(std::string& out, const std::vector<Entry>& entries, std::size_t indent,
    AppendEntry appendEntry)
{
    if (entries.empty()) {
        out += "[]";
        return;
    }
    out += '[';
    for (std::size_t index = 0; index < entries.size(); ++index) {
        out += index == 0 ? "\n" : ",\n";
        appendIndent(out, indent + 2);
        appendEntry(entries[index], indent + 2);
    }
    out += '\n';
    appendIndent(out, indent);
    out += ']';
}

void appendStoredFolder(
    std::string& out, const FolderEntry& folder, std::size_t indent, bool isRoot)
{
    const std::size_t inner = indent + 2;
    out += '{';
    appendIndentedString(out, "description", folder.description, inner, true);
    appendMemberStart(out, "devices", inner, false);
    appendIndentedArray(out, folder.devices, inner,
        [&out](const DeviceEntry& device, std::size_t at) { appendStoredDevice(out, device, at); });
    appendMemberStart(out, "folders", inner, false);
    appendIndentedArray(
        out, folder.folders, inner, [&out](const FolderEntry& child, std::size_t at) {
            appendStoredFolder(out, child, at, false);
        });
    appendIndentedString(out, "name", folder.name, inner);
    if (isRoot) {
        appendMemberStart(out, "schemaVersion", inner, false);
        out += '1';
    }
    if (folder.slowLink) {
        appendMemberStart(out, "slowLink", inner, false);
        out += "true";
    }
    out += '\n';
    appendIndent(out, indent);
    out += '}';
}

void appendCompactMember(
    std::string& out, std::string_view key, std::string_view value, bool first = false)
{
    if (!first)
        out += ',';
    out += '"';
    out += key;
    out += "\":";
    appendJsonString(out, value);
}

void appendNodeText(std::string& out, const NumberedNode& node)
{
    if (node.device) {
        const DeviceEntry& device = *node.device;
        appendCompactMember(out, "description", device.description, true);
        appendCompactMember(out, "id", node.id);
        appendCompactMember(out, "ip", device.ip);
        appendCompactMember(out, "name", device.name);
        appendCompactMember(out, "password", device.password);
        appendCompactMember(out, "type", "device");
        appendCompactMember(out, "username", device.username);
        return;
    }
    out += "\"children\":[";
    for (std::size_t index = 0; index < node.children.size(); ++index) {
        if (index > 0)
            out += ',';
        appendJsonString(out, node.children[index]);
    }
    out += ']';
    appendCompactMember(out, "description", node.folder->description);
    appendCompactMember(out, "id", node.id);
    appendCompactMember(out, "name", node.folder->name);
    appendCompactMember(out, "type", "folder");
    if (node.folder->slowLink)
        out += ",\"slowLink\":true";
}

} // namespace

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text.front());
        if (byte >= 0x80) {
            text.remove_prefix(appendUtf8SequenceOrReplacement(out, text));
            continue;
        }
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20) {
            appendEscapedControl(out, byte);
        } else {
            out += static_cast<char>(byte);
        }
        text.remove_prefix(1);
    }
    out += '"';
}

void appendStoredSitesText(std::string& out, const FolderEntry& root, std::size_t indentSpaces)
{
    appendStoredFolder(out, root, indentSpaces, true);
}

std::string nodeMapText(const FolderEntry& root)
{
    auto nodes = numberNodes(root);
    std::sort(nodes.begin(), nodes.end(),
        [](const NumberedNode& a, const NumberedNode& b) { return a.id < b.id; });
    std::string out = "{\"nodes\":{";
    for (std::size_t index = 0; index < nodes.size(); ++index) {
        if (index > 0)
            out += ',';
        appendJsonString(out, nodes[index].id);
        out += ":{";
        appendNodeText(out, nodes[index]);
        out += '}';
    }
    out += "},\"rootId\":\"root\",\"version\":1}";
    return out;
}

} // namespace kovrkit
