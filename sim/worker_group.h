// Detached worker threads (one per connection or transfer) that stop() waits for.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kovru::sim {

class WorkerGroup {
public:
    ~WorkerGroup() { wait_all(); }

    void start(std::function<void()> work)
    {
        {
            std::lock_guard lock(mutex_);
            ++running_;
        }
        std::thread([this, work = std::move(work)] {
            work();
            std::lock_guard lock(mutex_);
            --running_;
            finished_.notify_all();
        }).detach();
    }

    void wait_all()
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [this] { return running_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable finished_;
    int running_ = 0;
};

} // namespace kovru::sim
