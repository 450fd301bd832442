// The import loop the three CSV kinds share: comment rows and the version marker, the field
// count of a data row, and a count of the rows that were not applied.
#pragma once

#include "cli/import/csv_reader.h"

#include <functional>
#include <string>
#include <string_view>

namespace kovru {

struct CsvKind {
    std::string_view version_marker;
    std::size_t fields_per_row;
};

inline constexpr CsvKind channel_csv { "#dali-channel-csv-version: ", 12 };
inline constexpr CsvKind input_csv { "#dali-channel-inputs-csv-version: ", 20 };
inline constexpr CsvKind group_csv { "#dali-channel-groups-csv-version: ", 3 };

// Where a data row came from, for warnings that name it.
struct CsvRowPlace {
    const std::string& path;
    unsigned long row_number; // from 1, counting every row the reader delivered
};

// Applies one data row of the right size read under a version-1 marker; false when the row
// names no existing record.
using CsvRowApplier = std::function<bool(const CsvRow& row, const CsvRowPlace& place)>;

struct CsvImportOutcome {
    CsvReadOutcome read;
    unsigned long applied = 0;
    unsigned long ignored = 0;
};

// Reads the file and applies its data rows; logs a warning when rows were ignored.
CsvImportOutcome import_csv_rows(
    const std::string& path, const CsvKind& kind, const CsvRowApplier& apply);

// The same over CSV text held in memory; path only names it in the warnings.
CsvImportOutcome import_csv_text_rows(std::string_view text, const std::string& path,
    const CsvKind& kind, const CsvRowApplier& apply);

} // namespace kovru
