#pragma once

#include "host/bridge/command_table.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/jobs/job_engine.h"
#include "host/platform/dialogs.h"

#include <functional>
#include <optional>

namespace kovrkit {

// Where the number of devices at once is kept between runs.
struct JobSettingsStorage {
    std::function<std::optional<int>()> loadConcurrency; // nothing when none is stored
    std::function<bool(int concurrency)> saveConcurrency;
};

// "jobs_start", "jobs_cancel", "jobs_resume", "jobs_getSettings" and "jobs_setSettings". A
// start that names no input in its options asks for it once (folder, archive or firmware
// file).
CommandTable jobCommands(
    JobEngine& engine, Dialogs& dialogs, UiReplySink& sink, JobSettingsStorage settings);

} // namespace kovrkit
