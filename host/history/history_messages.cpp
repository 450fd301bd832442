#include "host/history/history_messages.h"

#include <nlohmann/json.hpp>

namespace kovrkit {

using Ordered = nlohmann::ordered_json;

namespace {

std::string envelope(const char* command, Ordered payload)
{
    Ordered message;
    message["command"] = command;
    message["payload"] = std::move(payload);
    // A path or a tool's line that is not UTF-8 becomes U+FFFD instead of failing.
    return message.dump(-1, ' ', false, Ordered::error_handler_t::replace);
}

std::string text(std::string_view view)
{
    return std::string(view);
}

Ordered entryObject(const HistoryEntry& entry)
{
    const BackupRecord& record = entry.record;
    Ordered object;
    object["id"] = record.id;
    object["time"] = record.time;
    object["result"] = record.result;
    object["firmware"] = record.firmware;
    object["model"] = record.model;
    object["serial"] = record.serial;
    object["address"] = record.address;
    object["cause"] = record.cause;
    object["reason"] = record.reason;
    object["archivePath"] = entry.archivePath.string();
    return object;
}

const char* outcomeOf(int exitCode)
{
    return exitCode == 0 ? "equal" : exitCode == 1 ? "different" : "trouble";
}

} // namespace

std::string historyListMessage(
    std::string_view ip, std::string_view key, const std::vector<HistoryEntry>& entries)
{
    Ordered payload;
    payload["ip"] = text(ip);
    payload["key"] = text(key);
    payload["backups"] = Ordered::array();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        payload["backups"].push_back(entryObject(*entry));
    return envelope("historyList", std::move(payload));
}

std::string historyComparedMessage(
    const ComparisonRun& run, int exitCode, const std::vector<ToolLine>& lines)
{
    Ordered payload;
    payload["requestId"] = run.requestId;
    payload["ip"] = run.ip;
    payload["id"] = run.id;
    payload["otherId"] = run.otherId;
    payload["against"] = run.against;
    payload["exitCode"] = exitCode;
    payload["outcome"] = outcomeOf(exitCode);
    payload["lines"] = Ordered::array();
    for (const ToolLine& line : lines)
        payload["lines"].push_back(Ordered { { "kind", line.kind }, { "text", line.text } });
    return envelope("historyCompared", std::move(payload));
}

std::string historySimulatorOpenedMessage(std::string_view ip, std::string_view id, bool success,
    std::string_view address, std::string_view name, std::string_view message)
{
    Ordered payload;
    payload["ip"] = text(ip);
    payload["id"] = text(id);
    payload["success"] = success;
    payload["address"] = text(address);
    payload["name"] = text(name);
    payload["message"] = text(message);
    return envelope("historySimulatorOpened", std::move(payload));
}

std::string historySimulatorClosedMessage(std::string_view address, int exitCode)
{
    Ordered payload;
    payload["address"] = text(address);
    payload["exitCode"] = exitCode;
    return envelope("historySimulatorClosed", std::move(payload));
}

std::string historyRefusedMessage(
    std::string_view request, std::string_view requestId, std::string_view message)
{
    Ordered payload;
    payload["request"] = text(request);
    payload["requestId"] = text(requestId);
    payload["message"] = text(message);
    return envelope("historyRefused", std::move(payload));
}

} // namespace kovrkit
