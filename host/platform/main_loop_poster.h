#pragma once

#include <functional>

namespace kovrkit {

// Hands work from any thread to the UI thread's main loop.
class MainLoopPoster {
public:
    using Task = std::function<void()>;

    virtual ~MainLoopPoster() = default;

    // Queues the task to run once on the UI thread. False when it was not queued; the task is
    // then destroyed without running. A task still queued when the poster goes away is destroyed
    // without running too.
    virtual bool post(Task task) = 0;
};

} // namespace kovrkit
