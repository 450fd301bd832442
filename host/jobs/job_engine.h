#pragma once

#include "host/bridge/ui_reply_sink.h"
#include "host/jobs/device_run.h"
#include "host/jobs/job_messages.h"
#include "host/jobs/upgrade_checks.h"

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
//
// An upgrade first has the tool check the firmware file, then reads every controller's status
// (wrong model and up to date end there), then uploads in groups: the canary group, then
// groups of `concurrency`, each group after the previous one has ended. A failed canary, or
// the rollout's failure threshold, starts nothing more. With pauseAfterCanary the job waits
// after the canary group until resume().
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
    // Goes on with a job paused after its canary group; false for an id that names no paused
    // job.
    bool resume(const std::string& jobId);
    bool paused(const std::string& jobId) const;
    bool knows(const std::string& jobId) const { return jobs_.count(jobId) > 0; }
    void cancelAll();

    bool busy() const { return !jobs_.empty(); }
    size_t runningDevices() const;
    // Runs once when no job is left (at once when none runs).
    void whenIdle(std::function<void()> task);

private:
    using Clock = std::chrono::steady_clock;

    // imageCheck and statusCheck come before an upgrade's uploads.
    enum class Phase { imageCheck, statusCheck, work, paused };

    struct Slot {
        std::unique_ptr<DeviceRun> run;
        Clock::time_point started;
        int percent = -1;
        std::string line;
        bool busy = false; // its run has not ended yet
        bool ended = false; // reported
    };
    struct Job {
        JobRequest request;
        JobRequest statusRequest; // the status reads before an upgrade
        Clock::time_point started;
        std::vector<Slot> slots;
        Phase phase = Phase::work;
        std::unique_ptr<DeviceRun> imageCheck;
        FirmwareImage image;
        size_t statusNext = 0; // first device whose status is not yet read
        std::vector<size_t> order; // the devices of the work phase, in list order
        size_t next = 0; // first entry of order not yet started
        size_t groupEnd = 0; // entries of order before this may start
        size_t groups = 0; // groups begun; the first is the canary group
        int failures = 0;
        bool resumed = false;
        bool cancelled = false;
        JobCounts counts;
    };

    void advance(const std::string& jobId);
    void startImageCheck(const std::string& jobId, Job& job);
    void onImageChecked(const std::string& jobId, DeviceEnd end);
    void startStatusReads(const std::string& jobId, Job& job);
    void startWork(const std::string& jobId, Job& job);
    void startDevice(const std::string& jobId, Job& job, size_t index, const JobRequest& request);
    void onProgress(const std::string& jobId, size_t index, int percent, const std::string& line);
    void onEnd(const std::string& jobId, size_t index, DeviceEnd end);
    void onStatusRead(const std::string& jobId, Job& job, size_t index, const DeviceEnd& end);
    void countFailure(const std::string& jobId, Job& job);
    // Reports every device that has neither ended nor runs, and starts nothing more.
    void endWaiting(const std::string& jobId, Job& job, const DeviceEnd& end);
    void record(const std::string& jobId, Job& job, size_t index, DeviceEnd end);

    DeviceRunner& runner_;
    UiReplySink& sink_;
    std::map<std::string, Job> jobs_;
    uint64_t lastId_ = 0;
    std::vector<std::function<void()>> idleTasks_;
    std::vector<std::unique_ptr<DeviceRun>> endedRuns_;
};

} // namespace kovrkit
