// A controller file read over TFTP into the output folder.
#pragma once

#include <cstdint>
#include <string>

namespace kovru {

// Reads remote_name into folder/<base name>, through a temporary name renamed on success.
// Returns the process exit status (0 only when the file was written whole).
int tftp_read_file(const std::string* address, const std::string& remote_name,
    std::uint64_t expected_size, const std::string* folder, const std::string* output_type);

} // namespace kovru
