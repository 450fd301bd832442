// The progress window of kovru-cli: a read-only log, newest line first, coloured by kind,
// above a 20-pixel progress bar, with a menu item that copies the log to the clipboard.
// It lives on the main thread; the worker reaches it only through the LogSink calls and
// request_close, each of which returns once the window has handled it.
#pragma once

#include "cli/log/log.h"

#include <chrono>
#include <functional>
#include <memory>

struct _GtkWidget;

namespace kovru {

struct WindowState;

class ProgressWindow : public LogSink {
public:
    // Creates the window (not yet shown) when GTK reaches a display; nullptr otherwise.
    static std::unique_ptr<ProgressWindow> open();
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void add_line(LogKind kind, const std::string& stamped_line) override;
    void set_progress(int percent) override;
    // Closes the window, which ends run(); does nothing once it is closed.
    void request_close();

    struct RunResult {
        int status; // work's status, or 1 when the window closed before work returned
        bool closed_early; // the worker is then still running and the process must end now
    };

    // Shows the window and runs work on a worker thread until the window closes: after work
    // returns and the pause has passed, the worker closes it.
    RunResult run(std::function<int()> work, std::chrono::milliseconds pause_before_close);

    // What "Copy log to clipboard" does.
    void copy_log_to_clipboard();
    bool is_open() const;

    // The widgets, for tests that look inside.
    _GtkWidget* window_widget() const;
    _GtkWidget* log_view() const;
    _GtkWidget* progress_bar() const;
    _GtkWidget* copy_menu_item() const;

    // The most characters the log holds; older lines drop off its bottom.
    static constexpr int kTextLimit = 8192;

private:
    ProgressWindow();

    std::shared_ptr<WindowState> state_;
};

} // namespace kovru
