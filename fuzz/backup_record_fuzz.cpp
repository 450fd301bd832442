// Any bytes as a record of the backup library, read as the library reads the records it
// lists. A record that is read names its archive by a plain file name (retention removes what
// records name) and writes a text that reads back as the same record.
#include "host/backups/backup_record.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

bool same(const kovrkit::BackupRecord& a, const kovrkit::BackupRecord& b)
{
    return a.time == b.time && a.address == b.address && a.serial == b.serial && a.model == b.model
        && a.firmware == b.firmware && a.result == b.result && a.archive == b.archive
        && a.cause == b.cause && a.reason == b.reason && a.items == b.items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<kovrkit::BackupRecord> record = kovrkit::readRecord(text);
    if (!record)
        return 0;
    check(record->archive.find('/') == std::string::npos);
    check(record->archive.empty() || record->archive.front() != '.');
    check(!record->good() || !record->archive.empty());
    // The JSON library takes only UTF-8, so every text comes back unchanged.
    std::optional<kovrkit::BackupRecord> again = kovrkit::readRecord(kovrkit::recordText(*record));
    check(again && same(*again, *record));
    return 0;
}
