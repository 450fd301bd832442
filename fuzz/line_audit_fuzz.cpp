// Any bytes as a line's channel file and as its input-device file, and the same bytes cut
// to the size of each channel-file layout and of both input-device layouts, so that the
// record walk runs on every layout: the audit reads only inside the files and its finding
// count is what it logged (nothing to check beyond the sanitizers).
#include "cli/action/config_layouts.h"
#include "cli/audit/line_audit.h"
#include "fuzz/program_output.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

constexpr std::size_t kSizes[] = { kovru::channel_layout::v1.file_size,
    kovru::channel_layout::v2.file_size, kovru::channel_layout::v3.file_size,
    kovru::input_device_layout::v2.file_size, kovru::input_device_layout::v3.file_size };

// The bytes repeated or cut to size bytes.
std::vector<std::uint8_t> sized(std::span<const std::uint8_t> data, std::size_t size)
{
    std::vector<std::uint8_t> file(size);
    for (std::size_t i = 0; i < size && !data.empty(); ++i)
        file[i] = data[i % data.size()];
    return file;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kovru::fuzz::discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    (void)kovru::audit_line(1, bytes, bytes);
    for (std::size_t file_size : kSizes) {
        const auto file = sized(bytes, file_size);
        // The version field decides the channel layout together with the size.
        for (std::uint8_t version : { 1, 2, 3 }) {
            auto channel = file;
            channel[8] = version;
            channel[9] = channel[10] = channel[11] = 0;
            (void)kovru::audit_line(2, channel, file);
        }
    }
    return 0;
}
