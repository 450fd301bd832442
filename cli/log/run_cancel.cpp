#include "cli/log/run_cancel.h"

#include <atomic>
#include <csignal>

namespace kovru {
namespace {

std::atomic<bool> cancel_requested { false };
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void on_sigterm(int)
{
    cancel_requested.store(true);
}

} // namespace

void cancel_on_sigterm()
{
    struct sigaction action { };
    action.sa_handler = on_sigterm;
    sigemptyset(&action.sa_mask);
    // Not restarted: a blocking wait returns at once and looks at the request.
    action.sa_flags = 0;
    sigaction(SIGTERM, &action, nullptr);
}

bool transfer_cancelled()
{
    return cancel_requested.load();
}

void request_cancel()
{
    cancel_requested.store(true);
}

} // namespace kovru
