#include "host/history/history_command_table.h"

#include "host/bridge/payload.h"
#include "host/history/history_messages.h"

namespace kovrkit {

using nlohmann::json;

namespace {

inline constexpr const char* kNoAddressMessage = "The device has no address";
inline constexpr const char* kNoBackupGivenMessage = "No backup given";
inline constexpr const char* kTwoBackupsMessage = "Choose two different backups to compare";
inline constexpr const char* kUnknownAgainstMessage
    = "A backup is compared with another backup or with the controller";

// The address member, trimmed as the jobs read a device's address.
std::string addressMember(const json& payload, const char* name)
{
    return std::string(trimWhiteSpace(getPayloadString(payload, name)));
}

// The checked start of a command about one backup of one device: nothing after a refusal.
std::optional<ComparisonRun> readRun(const char* request, const json& payload, UiReplySink& sink)
{
    ComparisonRun run;
    run.requestId = getPayloadString(payload, "requestId");
    run.ip = addressMember(payload, "ip");
    run.id = getPayloadString(payload, "id");
    const char* refusal = run.ip.empty() ? kNoAddressMessage
        : run.id.empty()                 ? kNoBackupGivenMessage
                                         : nullptr;
    if (refusal) {
        sink.sendToUi(historyRefusedMessage(request, run.requestId, refusal));
        return std::nullopt;
    }
    return run;
}

void compare(HistoryService& history, UiReplySink& sink, const json& payload)
{
    constexpr const char* kRequest = "history_compare";
    std::optional<ComparisonRun> run = readRun(kRequest, payload, sink);
    if (!run)
        return;
    run->against = getPayloadString(payload, "against");
    run->otherId = run->against == "backup" ? getPayloadString(payload, "otherId") : "";
    const char* refusal = nullptr;
    if (run->against != "backup" && run->against != "controller")
        refusal = kUnknownAgainstMessage;
    else if (run->against == "backup" && (run->otherId.empty() || run->otherId == run->id))
        refusal = kTwoBackupsMessage;
    if (refusal)
        return sink.sendToUi(historyRefusedMessage(kRequest, run->requestId, refusal));
    history.compare(kRequest, std::move(*run));
}

void previewRestore(HistoryService& history, UiReplySink& sink, const json& payload)
{
    constexpr const char* kRequest = "history_previewRestore";
    std::optional<ComparisonRun> run = readRun(kRequest, payload, sink);
    if (!run)
        return;
    run->against = "restore";
    history.compare(kRequest, std::move(*run));
}

void openSimulator(HistoryService& history, UiReplySink& sink, const json& payload)
{
    constexpr const char* kRequest = "history_openSimulator";
    std::optional<ComparisonRun> run = readRun(kRequest, payload, sink);
    if (run)
        history.openSimulator(kRequest, run->ip, run->id);
}

void closeSimulator(HistoryService& history, UiReplySink& sink, const json& payload)
{
    const std::string address = addressMember(payload, "address");
    if (!history.closeSimulator(address))
        sink.sendToUi(historyRefusedMessage("history_closeSimulator", "", kNoSuchSimulatorMessage));
}

} // namespace

CommandTable historyCommands(HistoryService& history, UiReplySink& sink)
{
    return {
        { "history_list",
            [&](const json& payload) {
                std::string ip = addressMember(payload, "ip");
                if (ip.empty())
                    return sink.sendToUi(
                        historyRefusedMessage("history_list", "", kNoAddressMessage));
                history.list("history_list", ip);
            } },
        { "history_compare", [&](const json& payload) { compare(history, sink, payload); } },
        { "history_previewRestore",
            [&](const json& payload) { previewRestore(history, sink, payload); } },
        { "history_openSimulator",
            [&](const json& payload) { openSimulator(history, sink, payload); } },
        { "history_closeSimulator",
            [&](const json& payload) { closeSimulator(history, sink, payload); } },
    };
}

} // namespace kovrkit
