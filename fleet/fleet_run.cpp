#include "fleet/fleet_run.h"

#include "host/bridge/ui_reply_sink.h"
#include "host/jobs/job_device_runner.h"
#include "host/jobs/job_engine.h"
#include "host/jobs/status_device_runner.h"
#include "host/jobs/tool_device_runner.h"
#include "host/platform/glib/glib_child_processes.h"
#include "host/platform/glib/glib_main_loop_poster.h"

#include <glib-unix.h>
#include <glib.h>
#include <nlohmann/json.hpp>

#include <csignal>

namespace kovrkit::fleet {

namespace {

using nlohmann::json;

std::string textOf(const json& payload, const char* name)
{
    auto member = payload.find(name);
    return member != payload.end() && member->is_string() ? member->get<std::string>() : "";
}

DeviceOutcome outcomeOf(const json& payload)
{
    DeviceOutcome outcome;
    outcome.success = payload.value("success", false);
    outcome.cause = textOf(payload, "cause");
    outcome.reason = textOf(payload, "reason");
    auto seconds = payload.find("seconds");
    if (seconds != payload.end() && seconds->is_number())
        outcome.seconds = seconds->get<double>();
    auto data = payload.find("data");
    if (data != payload.end() && data->is_object() && data->contains("changed")) {
        outcome.changed = data->value("changed", false);
        outcome.archive = textOf(*data, "archive");
        outcome.record = textOf(*data, "record");
    }
    return outcome;
}

// The engine's messages, read back: only the device results matter here.
class OutcomeSink final : public UiReplySink {
public:
    OutcomeSink(std::map<std::string, DeviceOutcome>& outcomes, const OutcomeListener& onResult)
        : outcomes_(outcomes)
        , onResult_(onResult)
    {
    }

    void sendToUi(std::string text) override
    {
        json message = json::parse(text, nullptr, false);
        if (message.is_discarded() || message.value("command", "") != "jobDeviceResult")
            return;
        const json& payload = message["payload"];
        std::string address = textOf(payload, "deviceIp");
        DeviceOutcome outcome = outcomeOf(payload);
        outcomes_[address] = outcome;
        if (onResult_)
            onResult_(address, outcome);
    }

private:
    std::map<std::string, DeviceOutcome>& outcomes_;
    const OutcomeListener& onResult_;
};

gboolean cancelOnSignal(gpointer data)
{
    static_cast<JobEngine*>(data)->cancelAll();
    return G_SOURCE_CONTINUE;
}

} // namespace

std::map<std::string, DeviceOutcome> runFleetJob(const std::vector<std::string>& addresses,
    const FleetRunSettings& settings, const OutcomeListener& onResult)
{
    std::map<std::string, DeviceOutcome> outcomes;
    if (addresses.empty())
        return outcomes;
    GLibMainLoopPoster poster;
    GLibChildProcesses processes;
    ToolDeviceRunner tools(processes, settings.toolPath, settings.library);
    StatusDeviceRunner statuses(poster);
    JobDeviceRunner runner(tools, statuses);
    OutcomeSink sink(outcomes, onResult);
    JobEngine engine(runner, sink);

    JobRequest request;
    request.action = settings.action;
    request.actionName = settings.action == JobAction::status ? "status" : "backup";
    for (const std::string& address : addresses)
        request.devices.push_back({ address, "" });
    request.concurrency = settings.parallel;
    request.input = settings.out;
    request.toLibrary = settings.action == JobAction::backup && settings.out.empty();

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    guint terminate = g_unix_signal_add(SIGTERM, cancelOnSignal, &engine);
    guint interrupt = g_unix_signal_add(SIGINT, cancelOnSignal, &engine);
    engine.start(std::move(request));
    engine.whenIdle([loop] { g_main_loop_quit(loop); });
    if (engine.busy())
        g_main_loop_run(loop);
    g_source_remove(terminate);
    g_source_remove(interrupt);
    g_main_loop_unref(loop);
    return outcomes;
}

} // namespace kovrkit::fleet
