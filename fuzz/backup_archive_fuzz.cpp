// Any bytes as a backup archive given to put_backup: opened as a zip, its "tool.txt" checked,
// then every configuration entry read, taken out of its tar image and converted for each
// firmware whose layouts differ. Every image handed to the push is a one-file tar image
// holding a non-empty file.
#include "cli/action/restore_entries.h"
#include "cli/backup/tar_image.h"
#include "common/zip_handles.h"
#include "fuzz/program_output.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

// No version, then the firmware releases that changed a layout.
const std::array<std::optional<std::string>, 5> kFirmwareVersions = { std::nullopt,
    std::string("1.3.0"), std::string("1.3.1"), std::string("1.5.0"), std::string("2.2.4") };

kovru::ZipHandle open_archive(const std::uint8_t* data, std::size_t size)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    kovru::ZipHandle zip;
    if (source) {
        zip.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
        if (!zip)
            zip_source_free(source);
    }
    zip_error_fini(&error);
    return zip;
}

bool one_file_image(std::span<const std::uint8_t> image)
{
    kovru::TarImageReader reader(image);
    std::span<const std::uint8_t> file;
    return reader.open() == kovru::tar_success && reader.read_data(file) == kovru::tar_success
        && !file.empty() && reader.next() == kovru::tar_null_record;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kovru::fuzz::discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kovru::ZipHandle zip = open_archive(data, size);
    if (!zip)
        return 0;
    (void)kovru::archive_marker_accepted(zip.get());
    for (const auto& firmware : kFirmwareVersions) {
        const kovru::RestoreTally tally
            = kovru::restore_entries(zip.get(), firmware, [](std::span<const std::uint8_t> image) {
                  if (!one_file_image(image))
                      std::abort();
                  return true;
              });
        if (tally.restored > tally.applicable)
            std::abort();
    }
    return 0;
}
