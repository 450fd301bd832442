#include "host/jobs/job_engine.h"

namespace kovrkit {

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    job.slots.resize(request.devices.size());
    job.counts.total = static_cast<int32_t>(request.devices.size());
    job.request = std::move(request);
    job.started = Clock::now();
    sink_.sendToUi(jobStartedMessage(jobId, job.request.actionName, job.counts.total));
    jobs_.emplace(jobId, std::move(job));
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
    while (job.next < job.slots.size()) {
        size_t index = job.next++;
        record(jobId, job, index,
            { false, -1, "cancelled", kQueuedCancelledReason, kJobCancelledMessage, "" });
    }
    for (Slot& slot : job.slots) {
        if (slot.run && !slot.ended)
            slot.run->cancel();
    }
    advance(jobId);
    return true;
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
    for (const auto& entry : jobs_)
        running += entry.second.running;
    return running;
}

void JobEngine::whenIdle(std::function<void()> task)
{
    if (jobs_.empty())
        return task();
    idleTasks_.push_back(std::move(task));
}

// Starts queued devices up to the job's concurrency; ends the job when nothing is left.
void JobEngine::advance(const std::string& jobId)
{
    auto found = jobs_.find(jobId);
    if (found == jobs_.end())
        return;
    Job& job = found->second;
    while (!job.cancelled && job.running < static_cast<size_t>(job.request.concurrency)
        && job.next < job.slots.size())
        startDevice(jobId, job, job.next++);
    if (job.running > 0 || job.next < job.slots.size())
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

void JobEngine::startDevice(const std::string& jobId, Job& job, size_t index)
{
    Slot& slot = job.slots[index];
    slot.started = Clock::now();
    DeviceRunCallbacks callbacks {
        [this, jobId, index](
            int percent, const std::string& line) { onProgress(jobId, index, percent, line); },
        [this, jobId, index](DeviceEnd end) { onEnd(jobId, index, std::move(end)); },
    };
    DeviceStart started
        = runner_.start(job.request, job.request.devices[index], std::move(callbacks));
    if (!started.run) {
        record(jobId, job, index, std::move(started.endedAtOnce));
        return;
    }
    slot.run = std::move(started.run);
    ++job.running;
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
    if (slot.ended)
        return;
    --job.running;
    if (job.cancelled && !end.success) {
        end.cause = "cancelled";
        end.message = kJobCancelledMessage;
    }
    // The run is still on the stack that called us: it goes once the next end comes.
    endedRuns_.clear();
    endedRuns_.push_back(std::move(slot.run));
    record(jobId, job, index, std::move(end));
    advance(jobId);
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
