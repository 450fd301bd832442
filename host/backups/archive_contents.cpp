#include "host/backups/archive_contents.h"

#include "cli/backup/fetched_item.h"
#include "cli/backup/item_check.h"
#include "cli/backup/tar_image.h"
#include "cli/compare/backup_reader.h"
#include "cli/firmware/sha256_digest.h"

#include <span>

namespace kovrkit {

namespace {

using Bytes = std::span<const std::uint8_t>;

Bytes fileIn(Bytes image, const std::string& path)
{
    kovru::TarImageReader reader(image);
    Bytes data;
    if (reader.find(path) == kovru::tar_success && reader.read_data(data) == kovru::tar_success)
        return data;
    return image;
}

std::optional<std::string> hexDigest(Bytes bytes)
{
    auto digest = kovru::sha256_of(bytes);
    if (!digest)
        return std::nullopt;
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : *digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

void takeStatus(Bytes image, ArchiveContents& contents)
{
    kovru::TarImageReader reader(image);
    Bytes data;
    if (reader.find("status.txt") != kovru::tar_success
        || reader.read_data(data) != kovru::tar_success)
        return;
    kovru::FetchedItem status;
    kovru::read_item_status(
        std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), status);
    if (!status.serial_number && !status.firmware_version && !status.model_name)
        return;
    contents.serial = status.serial_number.value_or("");
    contents.firmware = status.firmware_version.value_or("");
    contents.model = status.model_name.value_or("");
}

} // namespace

std::optional<ArchiveContents> readArchiveContents(const std::string& path, std::string& error)
{
    std::unique_ptr<kovru::BackupReader> reader = kovru::BackupReader::open(path, error);
    if (!reader)
        return std::nullopt;
    ArchiveContents contents;
    bool haveStatus = false;
    for (const kovru::ConfigItem& item : kovru::config_items()) {
        kovru::ItemRead read = reader->read(item);
        if (read.state == kovru::ItemRead::State::trouble) {
            error = read.trouble;
            return std::nullopt;
        }
        if (read.state != kovru::ItemRead::State::present)
            continue;
        std::optional<std::string> digest = hexDigest(fileIn(read.image, item.device_path));
        if (!digest) {
            error = "The digest of " + item.item_name + " could not be computed";
            return std::nullopt;
        }
        contents.items[item.item_name] = std::move(*digest);
        if (!haveStatus) {
            takeStatus(read.image, contents);
            haveStatus = !contents.serial.empty() || !contents.firmware.empty();
        }
    }
    if (contents.items.empty()) {
        error = "The archive holds no configuration item";
        return std::nullopt;
    }
    return contents;
}

} // namespace kovrkit
