#pragma once

#include <map>
#include <string>

namespace kovrkit {

// The program's identity strings, keyed as in a Windows version block. The build compiles
// one table in; tests hand another one to the code that reads it.
struct AppIdentity {
    std::map<std::string, std::string> strings;
    std::string fileVersion; // four numbers joined by dots, empty when unknown
};

inline constexpr const char* kDefaultWindowTitle = "TORVANE VELDIR Tool";

const AppIdentity& builtInIdentity();

// Empty for an empty key or a key the table does not hold.
std::string readVersionString(const AppIdentity& identity, const std::string& key);

// "0.0.0.0" when the table carries no file version.
std::string readFileVersion(const AppIdentity& identity);

// "WindowTitle", or the fixed product title when that string is empty.
std::string windowCaption(const AppIdentity& identity);

} // namespace kovrkit
