#pragma once

#include <string>

namespace kovrkit {

// Directory of the running program without a trailing separator; every host file lives
// relative to it.
std::string exeDirectory();

// The part of `path` before its last "/" ("\" counts too); the whole path when it holds neither.
std::string directoryOf(const std::string& path);

// "ui" beside the program, else "../ui" in canonical form, else the first candidate.
std::string resolveUiFolder(const std::string& programDirectory);

} // namespace kovrkit
