#include "host/legacy/wine_registry.h"

#include "host/legacy/raw_scan.h"
#include "host/legacy/text_encoding.h"

#include <algorithm>
#include <cstdint>

namespace kovrkit {

namespace {

int digitValue(char byte, int base)
{
    int value = -1;
    if (byte >= '0' && byte <= '9')
        value = byte - '0';
    else if (byte >= 'a' && byte <= 'f')
        value = byte - 'a' + 10;
    else if (byte >= 'A' && byte <= 'F')
        value = byte - 'A' + 10;
    return value < base ? value : -1;
}

// Reads up to `most` digits of `base` at `at`; nothing when there is not even one.
std::optional<std::uint32_t> readNumber(std::string_view text, std::size_t& at, int base, int most)
{
    std::uint32_t value = 0;
    int digits = 0;
    while (digits < most && at < text.size() && digitValue(text[at], base) >= 0) {
        value = value * static_cast<std::uint32_t>(base)
            + static_cast<std::uint32_t>(digitValue(text[at], base));
        ++at;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

char simpleEscape(char letter)
{
    switch (letter) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'e':
        return '\x1b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    default:
        return letter;
    }
}

// UTF-16 units from \x escapes, joined into code points when a surrogate pair follows.
class UnitWriter {
public:
    explicit UnitWriter(std::string& out)
        : out_(out)
    {
    }
    void unit(std::uint32_t value)
    {
        if (high_ && value >= 0xDC00 && value <= 0xDFFF) {
            appendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (value - 0xDC00));
            high_ = 0;
            return;
        }
        flush();
        if (value >= 0xD800 && value <= 0xDBFF)
            high_ = value;
        else
            appendUtf8(out_, value);
    }
    void flush()
    {
        if (high_)
            appendUtf8(out_, 0xFFFD);
        high_ = 0;
    }

private:
    std::string& out_;
    std::uint32_t high_ = 0;
};

std::string_view trimmed(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

std::string hexBytes(std::string_view list)
{
    std::string bytes;
    std::size_t at = 0;
    while (at < list.size()) {
        if (std::optional<std::uint32_t> byte = readNumber(list, at, 16, 2))
            bytes += static_cast<char>(*byte);
        else
            ++at;
    }
    return bytes;
}

std::optional<RegistryValue> parseValueData(std::string_view data)
{
    auto quotedText = [](std::string_view rest) -> std::optional<std::string> {
        if (rest.empty() || rest[0] != '"')
            return std::nullopt;
        WineString text = unescapeWineString(rest.substr(1), '"');
        if (!text.closed)
            return std::nullopt;
        return std::move(text.text);
    };
    constexpr std::string_view expandable = "str(2):";
    constexpr std::string_view hexString = "hex(1):";
    constexpr std::string_view hexExpandable = "hex(2):";
    if (data.starts_with('"')) {
        if (std::optional<std::string> text = quotedText(data))
            return RegistryValue { RegistryValueType::String, std::move(*text) };
        return std::nullopt;
    }
    if (data.starts_with(expandable)) {
        if (std::optional<std::string> text = quotedText(data.substr(expandable.size())))
            return RegistryValue { RegistryValueType::ExpandableString, std::move(*text) };
        return std::nullopt;
    }
    if (data.starts_with(hexString))
        return RegistryValue { RegistryValueType::String,
            utf16LeToUtf8(hexBytes(data.substr(hexString.size()))) };
    if (data.starts_with(hexExpandable))
        return RegistryValue { RegistryValueType::ExpandableString,
            utf16LeToUtf8(hexBytes(data.substr(hexExpandable.size()))) };
    return RegistryValue { RegistryValueType::Other, {} };
}

// Physical lines joined where a line ends in a backslash (long hex values are wrapped so).
std::vector<std::string> logicalLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string current;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = trimmed(text.substr(from, end - from));
        from = end + 1;
        current += line;
        if (current.ends_with('\\') && current.find("=hex") != std::string::npos) {
            current.pop_back();
            continue;
        }
        lines.push_back(std::move(current));
        current.clear();
    }
    if (!current.empty())
        lines.push_back(std::move(current));
    return lines;
}

} // namespace

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& letter : lower) {
        if (letter >= 'A' && letter <= 'Z')
            letter = static_cast<char>(letter - 'A' + 'a');
    }
    return lower;
}

WineString unescapeWineString(std::string_view text, char end)
{
    WineString result;
    UnitWriter units(result.text);
    std::size_t at = 0;
    while (at < text.size()) {
        const char byte = text[at];
        if (byte == end) {
            units.flush();
            result.used = at + 1;
            result.closed = true;
            return result;
        }
        if (byte != '\\' || at + 1 == text.size()) {
            units.flush();
            result.text += byte;
            ++at;
            continue;
        }
        const char letter = text[at + 1];
        at += 2;
        if (letter == 'x') {
            if (std::optional<std::uint32_t> unit = readNumber(text, at, 16, 4)) {
                units.unit(*unit);
                continue;
            }
            units.flush();
            result.text += 'x';
            continue;
        }
        if (letter >= '0' && letter <= '7') {
            --at;
            units.unit(*readNumber(text, at, 8, 3));
            continue;
        }
        units.flush();
        result.text += simpleEscape(letter);
    }
    units.flush();
    result.used = text.size();
    return result;
}

RegistryHive RegistryHive::parse(std::string_view text)
{
    RegistryHive hive;
    RegistryKey* current = nullptr;
    for (const std::string& line : logicalLines(text)) {
        if (line.starts_with('[')) {
            WineString path = unescapeWineString(std::string_view(line).substr(1), ']');
            current = nullptr;
            if (!path.closed || path.text.empty())
                continue;
            std::size_t lastSeparator = path.text.rfind('\\');
            std::string name = lastSeparator == std::string::npos
                ? path.text
                : path.text.substr(lastSeparator + 1);
            current = &hive.keys_[lowerAscii(path.text)];
            current->name = std::move(name);
            continue;
        }
        if (!current)
            continue;
        std::string valueName;
        std::string_view rest;
        if (line.starts_with("@=")) {
            rest = std::string_view(line).substr(2);
        } else if (line.starts_with('"')) {
            WineString name = unescapeWineString(std::string_view(line).substr(1), '"');
            if (!name.closed || line.size() < name.used + 2 || line[name.used + 1] != '=')
                continue;
            valueName = std::move(name.text);
            rest = std::string_view(line).substr(name.used + 2);
        } else {
            continue;
        }
        if (std::optional<RegistryValue> value = parseValueData(rest))
            current->values[lowerAscii(valueName)] = std::move(*value);
    }
    return hive;
}

RegistryHive RegistryHive::load(const std::filesystem::path& file)
{
    std::optional<std::string> text = readWholeFile(file);
    return text ? parse(*text) : RegistryHive {};
}

const RegistryKey* RegistryHive::findKey(std::string_view path) const
{
    auto key = keys_.find(lowerAscii(path));
    return key == keys_.end() ? nullptr : &key->second;
}

std::vector<std::string> RegistryHive::subKeyNames(std::string_view path) const
{
    const std::string prefix = lowerAscii(path) + "\\";
    std::vector<std::string> names;
    for (auto key = keys_.lower_bound(prefix); key != keys_.end() && key->first.starts_with(prefix);
         ++key) {
        std::string_view below = std::string_view(key->first).substr(prefix.size());
        if (!below.empty() && below.find('\\') == std::string_view::npos)
            names.push_back(key->second.name);
    }
    // Ordered by lower-case path already, which is the registry's order of names.
    return names;
}

} // namespace kovrkit
