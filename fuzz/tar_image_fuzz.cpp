// Any bytes as a configuration tar image: walked header by header as the restore and the
// import do, then put through the check every fetched item passes. Every data range lies
// inside the image and the walk takes at most one step per record.
#include "cli/backup/item_check.h"
#include "cli/backup/tar_image.h"
#include "fuzz/program_output.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kovru::fuzz::discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> image(data, size);
    kovru::TarImageReader reader(image);
    std::size_t headers = 0;
    for (int step = reader.open(); step == kovru::tar_success; step = reader.next()) {
        if (++headers > size / kovru::kTarRecordSize)
            std::abort();
        std::span<const std::uint8_t> file;
        if (reader.read_data(file) != kovru::tar_success || file.size() != reader.header().size
            || file.data() < data || file.data() + file.size() > data + size)
            std::abort();
    }
    (void)kovru::TarImageReader(image).find("/etc/config/dali/dali1.bin");

    kovru::FetchedItem item;
    item.image.assign(data, data + size);
    (void)kovru::check_item_image(item);
    return 0;
}
