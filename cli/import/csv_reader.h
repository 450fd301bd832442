// Reads a CSV file row by row with libcsv (default quote and delimiter, every field
// NUL-terminated) and hands each finished row to a callback.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kovru {

enum CsvReadResult {
    csv_read_done = 1,
    csv_reader_unavailable = 2,
    csv_file_unopened = 3,
    csv_syntax_error = 4,
};

using CsvRow = std::vector<std::string>;
using CsvRowHandler = std::function<void(const CsvRow& row)>;

struct CsvReadOutcome {
    int result = csv_read_done;
    // The parser's own text when result is csv_syntax_error.
    std::string error_text;
    unsigned long rows = 0;
};

// Reads the file in chunks of 1024 bytes. A quoted field still open at the end of the file
// is a syntax error: it would otherwise swallow every row after its opening quote. A UTF-8
// byte order mark at the start is skipped. Prints "N fields, M rows" after the last chunk.
CsvReadOutcome read_csv_file(const std::string& path, const CsvRowHandler& on_row);

// The same over text held in memory.
CsvReadOutcome read_csv_text(std::string_view text, const CsvRowHandler& on_row);

} // namespace kovru
