// The one check of UTF-8 sequences that the tool's event lines and the host's texts share.
#pragma once

#include <cstddef>
#include <string_view>

namespace kovru {

// Length of the well-formed UTF-8 sequence at the start of text (1 for an ASCII byte), 0 when
// text is empty or does not start with one: no overlong forms, no surrogates, nothing above
// U+10FFFF, no sequence cut short.
std::size_t utf8_sequence_length(std::string_view text);

} // namespace kovru
