// Text of the Windows side (UTF-16 little endian, Latin-1) as UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrkit {

void appendUtf8(std::string& out, std::uint32_t codePoint);
// Unpaired surrogates become U+FFFD; an odd last byte is dropped.
std::string utf16LeToUtf8(std::string_view bytes);
std::string latin1ToUtf8(std::string_view bytes);

} // namespace kovrkit
