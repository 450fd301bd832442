// A Windows command line split into its words the way the system splits it for a program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kovrkit {

// The program name ends at the next blank, or inside quotes at the closing quote, with no
// escapes. For later words, 2n backslashes before a quote give n backslashes and the quote
// toggles quoting; 2n+1 give n backslashes and a literal quote; "" inside quotes is a literal
// quote; other backslashes are plain.
std::vector<std::string> splitWindowsCommandLine(std::string_view line);

} // namespace kovrkit
