#include "host/jobs/job_engine.h"

#include <algorithm>

namespace kovrkit {

namespace {

// Status reads before an upgrade, at most this many at once (as status batches do).
constexpr size_t kStatusReadsAtOnce = 64;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

DeviceEnd queuedCancelledEnd()
{
    return { false, -1, "cancelled", kQueuedCancelledReason, kJobCancelledMessage, "" };
}

} // namespace

JobEngine::JobEngine(DeviceRunner& runner, UiReplySink& sink)
    : runner_(runner)
    , sink_(sink)
{
}

JobEngine::~JobEngine()
{
    // The runs go with the jobs, each stopping its work; nothing is reported any more.
    jobs_.clear();
}

std::string JobEngine::start(JobRequest request)
{
    std::string jobId = std::to_string(++lastId_);
    Job job;
    size_t devices = request.devices.size();
    job.slots.resize(devices);
    job.counts.total = static_cast<int32_t>(devices);
    job.request = std::move(request);
    job.started = Clock::now();
    if (job.request.action == JobAction::upgrade) {
        job.phase = Phase::imageCheck;
        job.statusRequest = job.request;
        job.statusRequest.action = JobAction::status;
        job.statusRequest.actionName = "status";
    } else {
        for (size_t index = 0; index < devices; ++index)
            job.order.push_back(index);
        job.groupEnd = devices;
    }
    sink_.sendToUi(jobStartedMessage(jobId, job.request.actionName, job.counts.total));
    Job& placed = jobs_.emplace(jobId, std::move(job)).first->second;
    if (placed.phase == Phase::imageCheck)
        startImageCheck(jobId, placed);
    advance(jobId);
    return jobId;
}

bool JobEngine::cancel(const std::string& jobId)
{
    auto found = jobs_.find(jobId);
    if (found == jobs_.end())
        return false;
    Job& job = found->second;
    if (job.cancelled)
        return true;
    job.cancelled = true;
    if (job.phase == Phase::paused)
        job.phase = Phase::work;
    endWaiting(jobId, job, queuedCancelledEnd());
    if (job.imageCheck)
        job.imageCheck->cancel();
    for (Slot& slot : job.slots) {
        if (slot.busy)
            slot.run->cancel();
    }
    advance(jobId);
    return true;
}

bool JobEngine::resume(const std::string& jobId)
{
    auto found = jobs_.find(jobId);
    if (found == jobs_.end() || found->second.phase != Phase::paused)
        return false;
    found->second.phase = Phase::work;
    found->second.resumed = true;
    advance(jobId);
    return true;
}

bool JobEngine::paused(const std::string& jobId) const
{
    auto found = jobs_.find(jobId);
    return found != jobs_.end() && found->second.phase == Phase::paused;
}

void JobEngine::cancelAll()
{
    std::vector<std::string> ids;
    for (const auto& entry : jobs_)
        ids.push_back(entry.first);
    for (const std::string& id : ids)
        cancel(id);
}

size_t JobEngine::runningDevices() const
{
    size_t running = 0;
    for (const auto& entry : jobs_) {
        for (const Slot& slot : entry.second.slots)
            running += slot.busy ? 1 : 0;
    }
    return running;
}

void JobEngine::whenIdle(std::function<void()> task)
{
    if (jobs_.empty())
        return task();
    idleTasks_.push_back(std::move(task));
}

// Starts what the job's phase allows; ends the job when nothing is left.
void JobEngine::advance(const std::string& jobId)
{
    auto found = jobs_.find(jobId);
    if (found == jobs_.end())
        return;
    Job& job = found->second;
    if (job.phase == Phase::statusCheck)
        startStatusReads(jobId, job);
    if (job.phase == Phase::work)
        startWork(jobId, job);
    bool busy = std::any_of(
        job.slots.begin(), job.slots.end(), [](const Slot& slot) { return slot.busy; });
    if (busy || job.imageCheck || job.phase != Phase::work || job.next < job.order.size())
        return;
    sink_.sendToUi(jobFinishedMessage(jobId, job.counts, secondsSince(job.started)));
    jobs_.erase(found);
    if (jobs_.empty()) {
        std::vector<std::function<void()>> tasks;
        tasks.swap(idleTasks_);
        for (auto& task : tasks)
            task();
    }
}

// The tool checks the firmware file once (check_firmware), before any controller is read.
void JobEngine::startImageCheck(const std::string& jobId, Job& job)
{
    JobRequest check = job.request;
    check.imageCheck = true;
    DeviceRunCallbacks callbacks { {},
        [this, jobId](DeviceEnd end) { onImageChecked(jobId, std::move(end)); } };
    DeviceStart started = runner_.start(check, job.request.devices.front(), std::move(callbacks));
    if (started.run) {
        job.imageCheck = std::move(started.run);
        return;
    }
    job.phase = Phase::work;
    endWaiting(jobId, job, started.endedAtOnce);
}

void JobEngine::onImageChecked(const std::string& jobId, DeviceEnd end)
{
    auto found = jobs_.find(jobId);
    if (found == jobs_.end())
        return;
    Job& job = found->second;
    // The run is still on the stack that called us: it goes once the next end comes.
    endedRuns_.clear();
    endedRuns_.push_back(std::move(job.imageCheck));
    std::optional<FirmwareImage> image = firmwareImageOf(end);
    if (job.cancelled) {
        job.phase = Phase::work;
    } else if (!end.success) {
        job.phase = Phase::work;
        endWaiting(jobId, job, end);
    } else if (!image) {
        job.phase = Phase::work;
        endWaiting(jobId, job, { false, -1, "other", kImageUnreadableReason, "Action failed", "" });
    } else {
        job.image = std::move(*image);
        job.phase = Phase::statusCheck;
    }
    advance(jobId);
}

void JobEngine::startStatusReads(const std::string& jobId, Job& job)
{
    size_t reading = 0;
    for (const Slot& slot : job.slots)
        reading += slot.busy ? 1 : 0;
    while (!job.cancelled && reading < kStatusReadsAtOnce && job.statusNext < job.slots.size()) {
        size_t index = job.statusNext++;
        startDevice(jobId, job, index, job.statusRequest);
        reading += job.slots[index].busy ? 1 : 0;
    }
    if (reading > 0 || job.statusNext < job.slots.size())
        return;
    // Every status is known: the rollout goes through the others in list order.
    for (size_t index = 0; index < job.slots.size(); ++index) {
        if (!job.slots[index].ended)
            job.order.push_back(index);
    }
    job.phase = Phase::work;
}

// Starts the queued devices of the current group; begins the next group (or pauses before it)
// when the current one has ended.
void JobEngine::startWork(const std::string& jobId, Job& job)
{
    bool busy = std::any_of(
        job.slots.begin(), job.slots.end(), [](const Slot& slot) { return slot.busy; });
    if (!busy && !job.cancelled && job.next == job.groupEnd && job.next < job.order.size()) {
        if (job.groups == 1 && job.request.rollout.pauseAfterCanary && !job.resumed) {
            job.phase = Phase::paused;
            sink_.sendToUi(jobPausedMessage(jobId, kCanarySucceededReason));
            return;
        }
        size_t size = job.groups == 0 ? static_cast<size_t>(job.request.rollout.canary)
                                      : static_cast<size_t>(job.request.concurrency);
        job.groupEnd = std::min(job.order.size(), job.next + size);
        ++job.groups;
    }
    size_t running = 0;
    for (const Slot& slot : job.slots)
        running += slot.busy ? 1 : 0;
    while (!job.cancelled && running < static_cast<size_t>(job.request.concurrency)
        && job.next < job.groupEnd) {
        size_t index = job.order[job.next++];
        startDevice(jobId, job, index, job.request);
        running += job.slots[index].busy ? 1 : 0;
    }
}

void JobEngine::startDevice(
    const std::string& jobId, Job& job, size_t index, const JobRequest& request)
{
    Slot& slot = job.slots[index];
    if (slot.started == Clock::time_point {})
        slot.started = Clock::now();
    DeviceRunCallbacks callbacks {
        [this, jobId, index](
            int percent, const std::string& line) { onProgress(jobId, index, percent, line); },
        [this, jobId, index](DeviceEnd end) { onEnd(jobId, index, std::move(end)); },
    };
    DeviceStart started = runner_.start(request, job.request.devices[index], std::move(callbacks));
    if (!started.run) {
        if (job.phase == Phase::statusCheck)
            onStatusRead(jobId, job, index, started.endedAtOnce);
        else
            record(jobId, job, index, std::move(started.endedAtOnce));
        return;
    }
    slot.run = std::move(started.run);
    slot.busy = true;
}

void JobEngine::onProgress(
    const std::string& jobId, size_t index, int percent, const std::string& line)
{
    auto found = jobs_.find(jobId);
    if (found == jobs_.end())
        return;
    Slot& slot = found->second.slots[index];
    if (slot.ended || (percent == slot.percent && line == slot.line))
        return;
    slot.percent = percent;
    slot.line = line;
    sink_.sendToUi(jobDeviceProgressMessage(
        jobId, found->second.request.devices[index].ip, percent < 0 ? 0 : percent, line));
}

void JobEngine::onEnd(const std::string& jobId, size_t index, DeviceEnd end)
{
    auto found = jobs_.find(jobId);
    if (found == jobs_.end())
        return;
    Job& job = found->second;
    Slot& slot = job.slots[index];
    if (!slot.busy)
        return;
    slot.busy = false;
    // The run is still on the stack that called us: it goes once the next end comes.
    endedRuns_.clear();
    endedRuns_.push_back(std::move(slot.run));
    if (job.phase == Phase::statusCheck) {
        onStatusRead(jobId, job, index, end);
    } else {
        if (job.cancelled && !end.success) {
            end.cause = "cancelled";
            end.message = kJobCancelledMessage;
        }
        bool failed = !end.success;
        record(jobId, job, index, std::move(end));
        if (failed && !job.cancelled && job.request.action == JobAction::upgrade)
            countFailure(jobId, job);
    }
    advance(jobId);
}

void JobEngine::onStatusRead(const std::string& jobId, Job& job, size_t index, const DeviceEnd& end)
{
    if (job.cancelled)
        return record(jobId, job, index, queuedCancelledEnd());
    if (std::optional<DeviceEnd> before = endBeforeUpload(job.image, end))
        record(jobId, job, index, std::move(*before));
}

// A failed canary, or the threshold reached, leaves the rest of the rollout unstarted.
void JobEngine::countFailure(const std::string& jobId, Job& job)
{
    ++job.failures;
    if (job.groups <= 1 || job.failures >= job.request.rollout.stopAfterFailures)
        endWaiting(jobId, job, rolloutStoppedEnd());
}

void JobEngine::endWaiting(const std::string& jobId, Job& job, const DeviceEnd& end)
{
    for (size_t index = 0; index < job.slots.size(); ++index) {
        Slot& slot = job.slots[index];
        if (slot.ended || slot.busy)
            continue;
        // It never started its work: no time to report.
        slot.started = Clock::time_point {};
        record(jobId, job, index, end);
    }
    job.statusNext = job.slots.size();
    job.next = job.order.size();
    job.groupEnd = job.order.size();
}

void JobEngine::record(const std::string& jobId, Job& job, size_t index, DeviceEnd end)
{
    Slot& slot = job.slots[index];
    slot.ended = true;
    if (end.success)
        ++job.counts.succeeded;
    else if (end.cause == "cancelled")
        ++job.counts.cancelled;
    else
        ++job.counts.failed;
    double seconds = slot.started == Clock::time_point {} ? 0.0 : secondsSince(slot.started);
    sink_.sendToUi(jobDeviceResultMessage(jobId, job.request.devices[index].ip, end, seconds));
}

} // namespace kovrkit
