#include "host/text/utf8_text.h"

#include "common/utf8_sequence.h"

namespace kovrkit {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

} // namespace

std::size_t appendUtf8SequenceOrReplacement(std::string& out, std::string_view text)
{
    if (text.empty())
        return 0;
    const std::size_t length = kovru::utf8_sequence_length(text);
    if (length == 0) {
        out += kReplacementCharacter;
        return 1;
    }
    out += text.substr(0, length);
    return length;
}

} // namespace kovrkit
