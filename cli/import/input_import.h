// Input CSV rows applied to a version-3 input-device file ("/etc/config/dali/cdN.bin").
//
// The flags of an input-device record are read and written at record + 0 by the import,
// as the controllers that take imported files expect; the restore conversion carries the
// record's first 97 bytes unchanged, so both readings travel intact.
#pragma once

#include "cli/import/csv_reader.h"
#include "cli/import/csv_rows.h"

#include <cstdint>
#include <span>
#include <string>

namespace kovru {

inline constexpr std::uint32_t input_flag_short_address = 1u << 0;
inline constexpr std::uint32_t input_flag_configured = 1u << 1;
inline constexpr std::size_t input_list_limit = 32;

// Record offsets the import writes.
namespace input_record {
inline constexpr std::size_t flags = 0;
inline constexpr std::size_t short_address = 8;
inline constexpr std::size_t instance_count = 10;
inline constexpr std::size_t marker = 13;
} // namespace input_record

// Row fields: 0 line value, 1 device index (0..31), 2 short address (JSON), 3 name, 4 flags,
// 5 a byte (at most 32), 6 instance types, 7 per-instance bytes, 8 push-button value,
// 9..14 push-button bytes, 15..17 occupancy-sensor bytes, 18..19 light-sensor bytes (JSON
// lists of at most 32 values; the excess is ignored with a warning naming row and field).
// The file must be at least the version-3 size. False when the index is out of range.
bool apply_input_row(std::span<std::uint8_t> file, const CsvRow& row, const CsvRowPlace& place);

CsvImportOutcome import_input_csv(const std::string& path, std::span<std::uint8_t> file);

} // namespace kovru
