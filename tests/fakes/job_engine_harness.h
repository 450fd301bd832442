#pragma once

#include "fakes/fake_dialogs.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/page_messages.h"
#include "host/jobs/job_command_table.h"
#include "host/jobs/job_device_runner.h"
#include "host/jobs/job_engine.h"
#include "host/jobs/status_device_runner.h"
#include "host/jobs/tool_device_runner.h"
#include "host/platform/glib/glib_child_processes.h"
#include "host/platform/glib/glib_main_loop_poster.h"
#include "host/sites/sites_store.h"

#include <glib.h>

#include <chrono>
#include <string>

namespace kovrkit::testing {

// Runs the default main loop until done() or the time is up; a tick wakes it to look at both.
template <typename Done> bool iterateUntil(Done done, int seconds = 20)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    guint tick = g_timeout_add(
        20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    return done();
}

// The device jobs below the window, wired as the host wires them: the jobs_* commands over the
// engine, the tool and status runners on GLib child processes, the concurrency setting in
// "settings.json" of a fresh folder, dialogs the test answers and the page's messages
// recorded. The tool is `toolPath`, or cli/kovru-cli in the folder when that is empty.
class JobEngineHarness {
protected:
    explicit JobEngineHarness(const std::string& toolPath = {})
        : store(folder.file("settings.json"))
        , tools(processes, toolPath.empty() ? folder.file("cli/kovru-cli") : toolPath)
        , statuses(poster)
        , runner(tools, statuses)
        , engine(runner, replies)
        , commands(jobCommands(engine, dialogs, replies,
              { [this] { return store.jobConcurrency(); },
                  [this](int value) { return store.saveJobConcurrency(value); } }))
    {
    }

    void send(const std::string& name, const nlohmann::json& payload)
    {
        runCommand(commands, name, payload);
    }

    TempFolder folder;
    FakeDialogs dialogs;
    RecordedReplies replies;
    GLibChildProcesses processes;
    GLibMainLoopPoster poster;
    SitesStore store;
    ToolDeviceRunner tools;
    StatusDeviceRunner statuses;
    JobDeviceRunner runner;
    JobEngine engine;
    CommandTable commands;
};

} // namespace kovrkit::testing
