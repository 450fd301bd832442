#include "cli/json/json_pull.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <exception>

namespace kovru {
namespace {

// Deeper documents are refused: no caller reads more than a few levels, and the token
// list must stay small whatever the input.
constexpr std::size_t kMaxDepth = 256;

// Collects the parser's events as tokens; any fault ends the list with one error token.
class TokenCollector {
public:
    using number_integer_t = nlohmann::json::number_integer_t;
    using number_unsigned_t = nlohmann::json::number_unsigned_t;
    using number_float_t = nlohmann::json::number_float_t;
    using string_t = nlohmann::json::string_t;
    using binary_t = nlohmann::json::binary_t;

    explicit TokenCollector(std::vector<JsonPullReader::Token>& tokens)
        : tokens_(tokens)
    {
    }

    bool null() { return add(JsonToken::null_value); }
    bool boolean(bool value) { return add(value ? JsonToken::true_value : JsonToken::false_value); }
    bool number_integer(number_integer_t value)
    {
        return add_number(std::to_string(value), static_cast<double>(value));
    }
    bool number_unsigned(number_unsigned_t value)
    {
        return add_number(std::to_string(value), static_cast<double>(value));
    }
    bool number_float(number_float_t value, const string_t& source)
    {
        return add_number(source, value);
    }
    bool string(string_t& value)
    {
        tokens_.push_back({ JsonToken::string, std::move(value), 0 });
        return true;
    }
    bool binary(binary_t&) { return false; }
    bool start_object(std::size_t) { return open(JsonToken::object_start); }
    bool key(string_t& value) { return string(value); }
    bool end_object() { return close(JsonToken::object_end); }
    bool start_array(std::size_t) { return open(JsonToken::array_start); }
    bool end_array() { return close(JsonToken::array_end); }
    bool parse_error(std::size_t, const std::string&, const std::exception&) { return false; }

private:
    bool add(JsonToken token)
    {
        tokens_.push_back({ token, {}, 0 });
        return true;
    }
    bool add_number(std::string source, double value)
    {
        tokens_.push_back({ JsonToken::number, std::move(source), value });
        return true;
    }
    bool open(JsonToken token)
    {
        if (depth_ == kMaxDepth)
            return false;
        ++depth_;
        return add(token);
    }
    bool close(JsonToken token)
    {
        --depth_;
        return add(token);
    }

    std::vector<JsonPullReader::Token>& tokens_;
    std::size_t depth_ = 0;
};

} // namespace

JsonPullReader::JsonPullReader(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    TokenCollector collector(tokens_);
    bool complete = false;
    try {
        complete = nlohmann::json::sax_parse(text.begin(), text.end(), &collector);
    } catch (const std::exception&) {
        complete = false;
    }
    tokens_.push_back({ complete ? JsonToken::end : JsonToken::error, {}, 0 });
}

JsonToken JsonPullReader::next()
{
    const Token& token = tokens_[position_];
    current_ = position_;
    if (position_ + 1 < tokens_.size())
        ++position_;
    return token.kind;
}

const std::string& JsonPullReader::text() const
{
    return tokens_[current_].text;
}

double JsonPullReader::number() const
{
    return tokens_[current_].number;
}

} // namespace kovru
