// Owner of a C stream.
#pragma once

#include <cstdio>
#include <memory>

namespace kovru {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileClose>;

} // namespace kovru
