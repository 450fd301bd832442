// A streaming reader over UTF-8 JSON text (RFC 8259) that yields one token at a time.
// Malformed input (truncated text, bad escapes, invalid UTF-8, nesting too deep) ends in
// an error token after the tokens that were read before the fault; it never throws.
// The text ends at its first NUL byte, if any. Object keys arrive as string tokens.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kovru {

enum class JsonToken {
    object_start,
    object_end,
    array_start,
    array_end,
    string,
    number,
    true_value,
    false_value,
    null_value,
    end,
    error,
};

class JsonPullReader {
public:
    explicit JsonPullReader(std::string_view text);

    // The next token; end and error repeat once reached.
    JsonToken next();
    // Decoded text of the last string token, or the source text of the last number token.
    const std::string& text() const;
    // Value of the last number token.
    double number() const;

    struct Token {
        JsonToken kind;
        std::string text;
        double number = 0;
    };

private:
    std::vector<Token> tokens_;
    std::size_t position_ = 0;
    std::size_t current_ = 0;
};

} // namespace kovru
