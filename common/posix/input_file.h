// Opening the files the tool reads. Only a regular file is accepted, and it is opened
// without blocking first, so a FIFO or a device given as an input is refused at once
// instead of being waited on or read without end. Every input has a size limit, checked
// when the file is opened and again while it is read, so a file that grows is caught too.
#pragma once

#include "common/file_handle.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovru {

enum class InputFault { none, cannot_open, not_regular, too_large, cannot_read };

struct InputFile {
    FileHandle file; // open for reading, or null after a refusal
    InputFault fault = InputFault::none;
    std::uint64_t size = 0; // its size when it was opened
    std::string refusal; // why it is not used: the system's reason, or what is wrong with it
};

// Opens path when it names a regular file of at most max_size bytes.
InputFile open_input_file(const std::string& path, std::uint64_t max_size);

struct InputBytes {
    std::optional<std::vector<std::uint8_t>> bytes; // the whole file, or nothing after a refusal
    InputFault fault = InputFault::none;
    std::string refusal;
};

// The whole file, read with the same checks; a file that grows past max_size while it is
// read is refused. May throw std::bad_alloc.
InputBytes read_input_file(const std::string& path, std::uint64_t max_size);

// "more than N bytes", the refusal of a file over its limit.
std::string too_large_refusal(std::uint64_t max_size);

} // namespace kovru
