#include "host/bridge/json_text.h"

#include "host/text/utf8_text.h"

#include <cstdint>

namespace kovrkit {

static void appendEscapedAscii(std::string& out, char character)
{
    switch (character) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    default:
        break;
    }
    if (static_cast<uint8_t>(character) < 0x20) {
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\u00";
        out += kHex[(character >> 4) & 0x0F];
        out += kHex[character & 0x0F];
        return;
    }
    out += character;
}

std::string escapeJsonText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    while (!text.empty()) {
        if (static_cast<uint8_t>(text[0]) >= 0x80) {
            text.remove_prefix(appendUtf8SequenceOrReplacement(out, text));
            continue;
        }
        appendEscapedAscii(out, text[0]);
        text.remove_prefix(1);
    }
    return out;
}

} // namespace kovrkit
