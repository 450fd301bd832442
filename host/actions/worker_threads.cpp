#include "host/actions/worker_threads.h"

namespace kovrkit {

WorkerThreads::~WorkerThreads()
{
    stopAll();
}

void WorkerThreads::start(Work work)
{
    joinFinished();
    auto worker = std::make_unique<Worker>();
    Worker& started = *worker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers_.push_back(std::move(worker));
    }
    started.thread = std::jthread([&started, work = std::move(work)](std::stop_token stop) {
        work(stop);
        started.finished = true;
    });
}

void WorkerThreads::stopAll()
{
    std::list<std::unique_ptr<Worker>> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers)
        worker->thread.request_stop();
    workers.clear(); // each jthread joins as it is destroyed
}

std::size_t WorkerThreads::runningCount()
{
    joinFinished();
    std::lock_guard<std::mutex> lock(mutex_);
    return workers_.size();
}

void WorkerThreads::joinFinished()
{
    std::list<std::unique_ptr<Worker>> finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            auto next = std::next(it);
            if ((*it)->finished)
                finished.splice(finished.end(), workers_, it);
            it = next;
        }
    }
}

} // namespace kovrkit
