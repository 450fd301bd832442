#include "host/backups/backup_record.h"

#include <nlohmann/json.hpp>

namespace kovrkit {

using nlohmann::json;

namespace {

constexpr int kRecordFormat = 1;

bool isDigest(const std::string& text)
{
    if (text.size() != 64)
        return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// A name inside the device's folder, never a path: retention removes what records name.
bool isArchiveName(const std::string& name)
{
    if (name.empty())
        return true;
    if (name.front() == '.' || name.size() > 255 || !name.ends_with(".zip"))
        return false;
    for (char c : name) {
        bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || c == '.' || c == '-' || c == '_';
        if (!safe)
            return false;
    }
    return true;
}

bool readText(const json& object, const char* name, std::string& out)
{
    auto member = object.find(name);
    if (member == object.end())
        return true;
    if (!member->is_string())
        return false;
    out = member->get<std::string>();
    return true;
}

bool readItems(const json& object, std::map<std::string, std::string>& items)
{
    auto member = object.find("items");
    if (member == object.end())
        return true;
    if (!member->is_object())
        return false;
    for (const auto& [name, digest] : member->items()) {
        if (!digest.is_string() || !isDigest(digest.get_ref<const std::string&>()))
            return false;
        items[name] = digest.get<std::string>();
    }
    return true;
}

} // namespace

std::string recordText(const BackupRecord& record)
{
    json items = json::object();
    for (const auto& [name, digest] : record.items)
        items[name] = digest;
    json object { { "address", record.address }, { "archive", record.archive },
        { "cause", record.cause }, { "firmware", record.firmware }, { "format", kRecordFormat },
        { "items", std::move(items) }, { "model", record.model }, { "reason", record.reason },
        { "result", record.result }, { "serial", record.serial }, { "time", record.time } };
    return object.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<BackupRecord> readRecord(std::string_view text)
{
    json object = json::parse(text, nullptr, false);
    if (object.is_discarded() || !object.is_object())
        return std::nullopt;
    auto format = object.find("format");
    if (format == object.end() || !format->is_number_integer()
        || format->get<int64_t>() != kRecordFormat)
        return std::nullopt;
    BackupRecord record;
    bool read = readText(object, "time", record.time) && readText(object, "address", record.address)
        && readText(object, "serial", record.serial) && readText(object, "model", record.model)
        && readText(object, "firmware", record.firmware)
        && readText(object, "result", record.result) && readText(object, "archive", record.archive)
        && readText(object, "cause", record.cause) && readText(object, "reason", record.reason)
        && readItems(object, record.items);
    if (!read || record.time.empty() || !isArchiveName(record.archive))
        return std::nullopt;
    if (record.result != kBackupChanged && record.result != kBackupUnchanged
        && record.result != kBackupFailed)
        return std::nullopt;
    if (record.good() && record.archive.empty())
        return std::nullopt;
    return record;
}

} // namespace kovrkit
