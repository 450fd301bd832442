// Giving a finished file its final name without ever replacing a file already there.
#pragma once

#include <string>

namespace kovru {

// Moves the file at from to the name to, unless something already has that name. Returns 0,
// or the errno value: EEXIST when to is taken (from then stays where it is).
int move_without_replacing(const std::string& from, const std::string& to);

// Flushes a file, or the entries of a folder, to the disk; false when that failed.
bool sync_path(const std::string& path);

} // namespace kovru
