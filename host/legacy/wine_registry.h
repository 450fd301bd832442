// One hive of a Wine prefix ("user.reg" or "system.reg") read from Wine's registry text: section
// lines "[Key\\Sub] time" with escaped key paths, then value lines such as "name"="text",
// "name"=str(2):"text", "name"=hex(2):41,00,... and "name"=dword:00000001.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrkit {

enum class RegistryValueType { String, ExpandableString, Other };

struct RegistryValue {
    RegistryValueType type = RegistryValueType::Other;
    std::string text; // UTF-8 for the two string types, NULs included as written
};

struct RegistryKey {
    std::string name; // the last path component, as written
    std::map<std::string, RegistryValue> values; // by lower-case value name; "" is the default
};

// Key paths and value names compare without regard to ASCII case, as the registry does.
class RegistryHive {
public:
    static RegistryHive parse(std::string_view text);
    // A missing or unreadable file is an empty hive.
    static RegistryHive load(const std::filesystem::path& file);

    const RegistryKey* findKey(std::string_view path) const;
    // The names of the direct sub-keys of `path`, in the registry's order (by name, ignoring case).
    std::vector<std::string> subKeyNames(std::string_view path) const;

private:
    std::map<std::string, RegistryKey> keys_; // by lower-case full path
};

// Wine's string escapes: \n \r \t \a \b \e \f \v, \xHHHH (UTF-16 units), octal \ooo, and a
// backslash before any other character stands for that character. Stops at an unescaped
// `end` and reports how many bytes were used, the end character included.
struct WineString {
    std::string text;
    std::size_t used = 0;
    bool closed = false;
};
WineString unescapeWineString(std::string_view text, char end);

std::string lowerAscii(std::string_view text);

} // namespace kovrkit
