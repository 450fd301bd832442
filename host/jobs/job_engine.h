#pragma once

#include "host/bridge/ui_reply_sink.h"
#include "host/jobs/device_run.h"
#include "host/jobs/job_messages.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kovrkit {

inline constexpr const char* kQueuedCancelledReason = "Cancelled before it started";
inline constexpr const char* kJobCancelledMessage = "Action cancelled";

// Device jobs: each job runs its devices through the runner, at most its concurrency at once,
// the rest queued in list order; every start, progress, device result and the end go to the
// sink. Jobs run side by side. UI thread only; nothing here blocks.
class JobEngine {
public:
    JobEngine(DeviceRunner& runner, UiReplySink& sink);
    ~JobEngine();
    JobEngine(const JobEngine&) = delete;
    JobEngine& operator=(const JobEngine&) = delete;

    // Sends "jobStarted" and starts the first devices; returns the job's id.
    std::string start(JobRequest request);
    // Reports the queued devices as cancelled and stops the running ones; false for an id
    // that names no running job.
    bool cancel(const std::string& jobId);
    void cancelAll();

    bool busy() const { return !jobs_.empty(); }
    size_t runningDevices() const;
    // Runs once when no job is left (at once when none runs).
    void whenIdle(std::function<void()> task);

private:
    using Clock = std::chrono::steady_clock;

    struct Slot {
        std::unique_ptr<DeviceRun> run;
        Clock::time_point started;
        int percent = -1;
        std::string line;
        bool ended = false;
    };
    struct Job {
        JobRequest request;
        Clock::time_point started;
        std::vector<Slot> slots;
        size_t next = 0; // first device not yet started
        size_t running = 0;
        bool cancelled = false;
        JobCounts counts;
    };

    void advance(const std::string& jobId);
    void startDevice(const std::string& jobId, Job& job, size_t index);
    void onProgress(const std::string& jobId, size_t index, int percent, const std::string& line);
    void onEnd(const std::string& jobId, size_t index, DeviceEnd end);
    void record(const std::string& jobId, Job& job, size_t index, DeviceEnd end);

    DeviceRunner& runner_;
    UiReplySink& sink_;
    std::map<std::string, Job> jobs_;
    uint64_t lastId_ = 0;
    std::vector<std::function<void()>> idleTasks_;
    std::vector<std::unique_ptr<DeviceRun>> endedRuns_;
};

} // namespace kovrkit
