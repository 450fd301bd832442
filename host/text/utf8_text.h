#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kovrkit {

// Appends the well-formed UTF-8 sequence at the start of `text`, or U+FFFD in place of its
// first byte when no well-formed sequence starts there; returns how many bytes of `text` it
// used (0 only for empty text). Callers escape ASCII by their own rules before calling.
std::size_t appendUtf8SequenceOrReplacement(std::string& out, std::string_view text);

} // namespace kovrkit
