#include "host/legacy/text_encoding.h"

namespace kovrkit {

void appendUtf8(std::string& out, std::uint32_t codePoint)
{
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = 0xFFFD;
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

std::string utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    auto unitAt = [&bytes](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]))
            | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        std::uint32_t unit = unitAt(at);
        if (unit >= 0xD800 && unit <= 0xDBFF && at + 3 < bytes.size()) {
            std::uint32_t low = unitAt(at + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
                continue;
            }
        }
        appendUtf8(out, unit);
    }
    return out;
}

std::string latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char byte : bytes)
        appendUtf8(out, static_cast<unsigned char>(byte));
    return out;
}

} // namespace kovrkit
