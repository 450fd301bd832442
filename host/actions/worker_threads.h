#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace kovrkit {

// Owns the threads that device work runs on. Destruction asks every running worker to stop
// and waits for it, so no worker outlives the objects it was given.
class WorkerThreads {
public:
    using Work = std::function<void(std::stop_token)>;

    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Runs the work on a new thread; threads of finished work are joined here first.
    void start(Work work);

    // Stops and joins every worker; start works again afterwards.
    void stopAll();

    std::size_t runningCount();

private:
    struct Worker {
        std::atomic<bool> finished = false;
        std::jthread thread;
    };

    void joinFinished();

    std::mutex mutex_;
    std::list<std::unique_ptr<Worker>> workers_;
};

} // namespace kovrkit
