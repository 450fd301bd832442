#include "host/bridge/json_text.h"

#include <cstdint>

namespace kovrkit {

static constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `text`, 0 when it is not one.
static size_t utf8SequenceLength(std::string_view text)
{
    auto byte = [&](size_t index) { return static_cast<uint8_t>(text[index]); };
    auto continuation
        = [&](size_t index) { return index < text.size() && (byte(index) & 0xC0) == 0x80; };
    uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2))
            return 0;
        uint8_t second = byte(1);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F))
            return 0;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3))
            return 0;
        uint8_t second = byte(1);
        if ((lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return 0;
        return 4;
    }
    return 0;
}

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
        size_t length = utf8SequenceLength(text);
        if (length == 0) {
            out += kReplacementCharacter;
            length = 1;
        } else if (length == 1) {
            appendEscapedAscii(out, text[0]);
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

} // namespace kovrkit
