#pragma once

#include "host/platform/main_loop_poster.h"

#include <memory>

namespace kovrkit {

// Runs posted tasks as idle sources of the default GLib main context. Destroying the poster
// (on the UI thread) removes the tasks that have not run yet and frees them.
class GLibMainLoopPoster final : public MainLoopPoster {
public:
    GLibMainLoopPoster();
    ~GLibMainLoopPoster() override;
    GLibMainLoopPoster(const GLibMainLoopPoster&) = delete;
    GLibMainLoopPoster& operator=(const GLibMainLoopPoster&) = delete;

    bool post(Task task) override;

    struct Pending;

private:
    std::shared_ptr<Pending> pending_;
};

} // namespace kovrkit
