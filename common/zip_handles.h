// Owners of libzip handles. An archive being written is finished with zip_close and then
// released; dropping the owner discards it unwritten.
#pragma once

#include <zip.h>

#include <memory>

namespace kovru {

struct ZipDiscard {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

struct ZipSourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

using ZipHandle = std::unique_ptr<zip_t, ZipDiscard>;
using ZipSourceHandle = std::unique_ptr<zip_source_t, ZipSourceFree>;
using ZipFileHandle = std::unique_ptr<zip_file_t, ZipFileClose>;

} // namespace kovru
