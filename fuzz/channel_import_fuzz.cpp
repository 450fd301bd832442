// Any bytes as a channel, group or input CSV file of setup_channel: the first byte chooses
// the kind (and for channel and group files the channel-file layout), the rest is the file.
// Its rows are read and applied to a file of the layout's size. (The finishing of the file
// before the push, a checksum over fixed offsets, is left out: it takes no input and would
// take most of each run.)
#include "cli/action/config_layouts.h"
#include "cli/import/channel_import.h"
#include "cli/import/csv_rows.h"
#include "cli/import/input_import.h"
#include "fuzz/program_output.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string kPath = "fuzz.csv";

void check(const kovru::CsvImportOutcome& outcome)
{
    if (outcome.read.result == kovru::csv_read_done
        && outcome.applied + outcome.ignored > outcome.read.rows)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kovru::fuzz::discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned choice = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const unsigned kind = choice % 3;
    if (kind == 2) {
        std::vector<std::uint8_t> file(kovru::input_device_layout::v3.file_size);
        check(kovru::import_csv_text_rows(text, kPath, kovru::input_csv,
            [&](const kovru::CsvRow& row, const kovru::CsvRowPlace& place) {
                return kovru::apply_input_row(file, row, place);
            }));
        return 0;
    }
    const kovru::ChannelLayout& layout = kovru::channel_layout_for_target(1 + choice / 3 % 3);
    std::vector<std::uint8_t> file(layout.file_size);
    if (kind == 0)
        check(kovru::import_csv_text_rows(text, kPath, kovru::channel_csv,
            [&](const kovru::CsvRow& row, const kovru::CsvRowPlace&) {
                return kovru::apply_channel_row(file, layout, row);
            }));
    else
        check(kovru::import_csv_text_rows(text, kPath, kovru::group_csv,
            [&](const kovru::CsvRow& row, const kovru::CsvRowPlace&) {
                return kovru::apply_group_row(file, layout, row);
            }));
    return 0;
}
