// Where a downloaded controller file goes: its base name inside the output folder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kovru {

// The longest output path kept, terminator included.
inline constexpr std::size_t kOutputPathLimit = 260;

// The part after the last "/" and then after the last backslash.
std::string output_base_name(std::string_view remote_name);

// folder + name, with a "/" between unless the folder ends in "/" or a backslash; nullopt when
// the result would not fit kOutputPathLimit.
std::optional<std::string> join_output_path(std::string_view folder, std::string_view name);

} // namespace kovru
