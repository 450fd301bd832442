#pragma once

#include "host/jobs/job_engine.h"
#include "host/platform/dialogs.h"

#include <gtk/gtk.h>

#include <string>

namespace kovrkit {

inline constexpr const char* kCloseWhileJobsRunQuestion
    = "Device jobs are still running. Cancel them and close the window?";

// Closing the window while device jobs run asks once: yes cancels them and closes the window
// once every tool has ended, no keeps the window open.
class JobCloseGuard {
public:
    JobCloseGuard(GtkWindow* window, JobEngine& engine, Dialogs& dialogs, std::string caption);
    ~JobCloseGuard();
    JobCloseGuard(const JobCloseGuard&) = delete;
    JobCloseGuard& operator=(const JobCloseGuard&) = delete;

private:
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);

    GtkWindow* window_;
    JobEngine& engine_;
    Dialogs& dialogs_;
    std::string caption_;
    gulong handler_ = 0;
    bool closing_ = false;
};

} // namespace kovrkit
