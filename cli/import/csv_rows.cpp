#include "cli/import/csv_rows.h"

#include "cli/import/csv_fields.h"
#include "cli/log/log.h"

namespace kovru {
namespace {

using CsvSource = std::function<CsvReadOutcome(const CsvRowHandler& on_row)>;

CsvImportOutcome import_rows(
    const CsvSource& read, const std::string& path, const CsvKind& kind, const CsvRowApplier& apply)
{
    CsvImportOutcome outcome;
    int version = 0;
    bool saw_version_1 = false;
    unsigned long row_number = 0;
    outcome.read = read([&](const CsvRow& row) {
        ++row_number;
        if (read_comment_row(row, kind.version_marker, version)) {
            saw_version_1 = saw_version_1 || version == 1;
            return;
        }
        if (version == 1 && row.size() == kind.fields_per_row
            && apply(row, CsvRowPlace { path, row_number }))
            ++outcome.applied;
        else
            ++outcome.ignored;
    });
    if (outcome.read.result != csv_read_done)
        return outcome;
    if (!saw_version_1)
        log_warning("%s has no \"%s1\" row; nothing in it was applied.", path.c_str(),
            std::string(kind.version_marker).c_str());
    else if (outcome.ignored > 0)
        log_warning("%lu row(s) of %s not applied: before a version 1 marker, not %zu fields, "
                    "or an index out of range.",
            outcome.ignored, path.c_str(), kind.fields_per_row);
    return outcome;
}

} // namespace

CsvImportOutcome import_csv_rows(
    const std::string& path, const CsvKind& kind, const CsvRowApplier& apply)
{
    return import_rows([&](const CsvRowHandler& on_row) { return read_csv_file(path, on_row); },
        path, kind, apply);
}

CsvImportOutcome import_csv_text_rows(
    std::string_view text, const std::string& path, const CsvKind& kind, const CsvRowApplier& apply)
{
    return import_rows([&](const CsvRowHandler& on_row) { return read_csv_text(text, on_row); },
        path, kind, apply);
}

} // namespace kovru
