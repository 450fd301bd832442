// kovru-cli: one action against one controller per run. With a display the progress window
// shows the log while a worker thread runs the command line; without one, or with
// --nowindow, the same lines go to standard output only.
#include "cli/log/console_progress.h"
#include "cli/log/progress_window.h"
#include "cli/log/run_cancel.h"
#include "cli/main/action_table.h"
#include "cli/main/command_line.h"
#include "cli/main/option_parser.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Left on screen after the action so a watcher can read the last lines.
constexpr std::chrono::milliseconds kPauseBeforeClose { 4000 };

int run_in_console(const std::vector<std::string>& arguments)
{
    kovru::ConsoleProgress progress(stderr, isatty(STDERR_FILENO) != 0);
    kovru::set_log_sink(&progress);
    int status = kovru::run_command_line(arguments, kovru::linked_action_table());
    kovru::set_log_sink(nullptr);
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    kovru::cancel_on_sigterm();
    std::vector<std::string> arguments(argv, argv + argc);
    std::unique_ptr<kovru::ProgressWindow> window;
    if (!kovru::wants_console_only(arguments))
        window = kovru::ProgressWindow::open();
    if (!window)
        return run_in_console(arguments);

    kovru::set_log_sink(window.get());
    auto [status, closed_early] = window->run(
        [&arguments] { return kovru::run_command_line(arguments, kovru::linked_action_table()); },
        kPauseBeforeClose);
    if (closed_early) {
        // The worker is mid-action and still holds the sink; end here without unwinding it.
        std::fflush(stdout);
        _exit(status);
    }
    kovru::set_log_sink(nullptr);
    return status;
}
