#include "cli/import/csv_rows.h"

#include "cli/import/csv_fields.h"
#include "cli/log/log.h"

namespace kovru {

CsvImportOutcome import_csv_rows(
    const std::string& path, const CsvKind& kind, const CsvRowApplier& apply)
{
    CsvImportOutcome outcome;
    int version = 0;
    unsigned long row_number = 0;
    outcome.read = read_csv_file(path, [&](const CsvRow& row) {
        ++row_number;
        if (read_comment_row(row, kind.version_marker, version))
            return;
        if (version == 1 && row.size() == kind.fields_per_row
            && apply(row, CsvRowPlace { path, row_number }))
            ++outcome.applied;
        else
            ++outcome.ignored;
    });
    if (outcome.read.result == csv_read_done && outcome.ignored > 0)
        log_warning("%lu row(s) of %s not applied: before a version 1 marker, not %zu fields, "
                    "or an index out of range.",
            outcome.ignored, path.c_str(), kind.fields_per_row);
    return outcome;
}

} // namespace kovru
