// Reads a CSV file row by row with libcsv (default quote and delimiter, every field
// NUL-terminated) and hands each finished row to a callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kovru {

// Bounds of what a CSV file may hold. The files describe at most 64 devices, 32 input
// devices or 16 groups of one line, so these are far above any real file; they keep a wrong
// file (a one-line 200 MB file, a device) from filling the memory.
inline constexpr std::uint64_t kCsvFileMaxSize = 4u << 20;
inline constexpr std::size_t kCsvFieldMaxLength = 4096;
inline constexpr std::size_t kCsvFieldsPerRowMax = 1000;
inline constexpr unsigned long kCsvRowsMax = 10000;

enum CsvReadResult {
    csv_read_done = 1,
    csv_reader_unavailable = 2,
    csv_file_unopened = 3,
    csv_syntax_error = 4, // also a bound above broken; error_text says which
    csv_file_refused = 5, // not a regular file, or larger than kCsvFileMaxSize
};

using CsvRow = std::vector<std::string>;
using CsvRowHandler = std::function<void(const CsvRow& row)>;

struct CsvReadOutcome {
    int result = csv_read_done;
    // The parser's own text, or the bound broken, when result is csv_syntax_error; why the
    // file was refused for csv_file_refused.
    std::string error_text;
    unsigned long rows = 0;
};

// Reads the file in chunks of 1024 bytes. A quoted field still open at the end of the file
// is a syntax error: it would otherwise swallow every row after its opening quote. A UTF-8
// byte order mark at the start is skipped. Prints "N fields, M rows" after the last chunk.
// Only a regular file within kCsvFileMaxSize is read; a field, a row or a file beyond its
// bound ends the reading as a syntax error that names the bound.
CsvReadOutcome read_csv_file(const std::string& path, const CsvRowHandler& on_row);

// Whether the file may be read: a regular file of at most kCsvFileMaxSize bytes. Empty when
// it may (or cannot be opened at all, which the reading reports); otherwise why not.
std::string csv_file_refusal(const std::string& path);

// The same over text held in memory.
CsvReadOutcome read_csv_text(std::string_view text, const CsvRowHandler& on_row);

} // namespace kovru
