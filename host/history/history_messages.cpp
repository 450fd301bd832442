#include "host/history/history_messages.h"

#include "host/bridge/json_message.h"

namespace kovrkit {

namespace {

OrderedJson entryObject(const HistoryEntry& entry)
{
    const BackupRecord& record = entry.record;
    OrderedJson object;
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
    OrderedJson payload;
    payload["ip"] = ip;
    payload["key"] = key;
    payload["backups"] = OrderedJson::array();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        payload["backups"].push_back(entryObject(*entry));
    return commandMessage("historyList", std::move(payload));
}

std::string historyComparedMessage(
    const ComparisonRun& run, int exitCode, const std::vector<ToolLine>& lines)
{
    OrderedJson payload;
    payload["requestId"] = run.requestId;
    payload["ip"] = run.ip;
    payload["id"] = run.id;
    payload["otherId"] = run.otherId;
    payload["against"] = run.against;
    payload["exitCode"] = exitCode;
    payload["outcome"] = outcomeOf(exitCode);
    payload["lines"] = OrderedJson::array();
    for (const ToolLine& line : lines)
        payload["lines"].push_back(OrderedJson { { "kind", line.kind }, { "text", line.text } });
    return commandMessage("historyCompared", std::move(payload));
}

std::string historySimulatorOpenedMessage(std::string_view ip, std::string_view id, bool success,
    std::string_view address, std::string_view name, std::string_view message)
{
    OrderedJson payload;
    payload["ip"] = ip;
    payload["id"] = id;
    payload["success"] = success;
    payload["address"] = address;
    payload["name"] = name;
    payload["message"] = message;
    return commandMessage("historySimulatorOpened", std::move(payload));
}

std::string historySimulatorClosedMessage(std::string_view address, int exitCode)
{
    OrderedJson payload;
    payload["address"] = address;
    payload["exitCode"] = exitCode;
    return commandMessage("historySimulatorClosed", std::move(payload));
}

std::string historyRefusedMessage(
    std::string_view request, std::string_view requestId, std::string_view message)
{
    OrderedJson payload;
    payload["request"] = request;
    payload["requestId"] = requestId;
    payload["message"] = message;
    return commandMessage("historyRefused", std::move(payload));
}

} // namespace kovrkit
