#include "cli/compare/backup_reader.h"

#include "cli/action/restore_entries.h"

#include <filesystem>
#include <string_view>

namespace kovru {

std::unique_ptr<BackupReader> BackupReader::open(const std::string& path, std::string& error)
{
    std::error_code failure;
    const auto status = std::filesystem::status(path, failure);
    if (failure || !std::filesystem::exists(status)) {
        error = "no such file";
        return nullptr;
    }
    // A FIFO or a device would be waited on or read without end.
    if (!std::filesystem::is_regular_file(status)) {
        error = "not a regular file";
        return nullptr;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    if (failure || size > kMaxBackupFileSize) {
        error = failure ? failure.message() : "larger than any backup";
        return nullptr;
    }
    int zip_error = 0;
    ZipHandle zip(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &zip_error));
    if (!zip) {
        zip_error_t text;
        zip_error_init_with_code(&text, zip_error);
        error = std::string("not a backup archive (") + zip_error_strerror(&text) + ")";
        zip_error_fini(&text);
        return nullptr;
    }
    return std::unique_ptr<BackupReader>(new BackupReader(std::move(zip)));
}

BackupReader::BackupReader(ZipHandle zip)
    : zip_(std::move(zip))
{
    const zip_int64_t count = zip_get_num_entries(zip_.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(zip_.get(), static_cast<zip_uint64_t>(i), 0, &stat) != 0
            || !(stat.valid & ZIP_STAT_NAME) || !(stat.valid & ZIP_STAT_SIZE))
            continue;
        const ConfigItem* item = find_config_item_by_tar_entry(std::string_view(stat.name));
        if (item && !entries_[item->kind])
            entries_[item->kind] = Entry { static_cast<std::uint64_t>(i), stat.size };
    }
}

ItemRead BackupReader::read(const ConfigItem& item)
{
    ItemRead read;
    const std::optional<Entry>& entry = entries_.at(item.kind);
    if (!entry)
        return read;
    auto bytes = read_archive_entry(zip_.get(), entry->index, entry->size);
    if (!bytes) {
        read.state = ItemRead::State::trouble;
        read.trouble = "the backup's entry " + item.tar_entry_name + " cannot be read";
        return read;
    }
    read.state = ItemRead::State::present;
    read.image = std::move(*bytes);
    return read;
}

} // namespace kovru
