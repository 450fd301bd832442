#include "host/sites/sites_text.h"

#include "host/sites/fresh_ids.h"

#include <algorithm>

namespace kovrkit {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of text, 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view text)
{
    const auto byte = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t index = 2; index < length; ++index)
        if (byte(index) < 0x80 || byte(index) > 0xBF)
            return 0;
    return length;
}

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
}

} // namespace

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text.front());
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20) {
            appendEscapedControl(out, byte);
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (const auto length = utf8SequenceLength(text); length > 0) {
            out += text.substr(0, length);
            text.remove_prefix(length - 1);
        } else {
            out += kReplacementCharacter;
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
