#pragma once

#include "host/jobs/job_request.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kovrkit {

// How one device's work ended.
struct DeviceEnd {
    bool success = false;
    int32_t exitCode = -1;
    std::string cause; // "" on success
    std::string reason; // the tool's last error line, or the host's reason
    std::string message;
    std::string data; // JSON text of a status reading, or empty
};

struct DeviceRunCallbacks {
    std::function<void(int percent, const std::string& line)> onProgress;
    // Once, on the UI thread, never from inside DeviceRunner::start. The run may be
    // destroyed from this callback.
    std::function<void(DeviceEnd end)> onEnd;
};

// One device's work while it runs. Destroying it stops the work without any callback.
class DeviceRun {
public:
    virtual ~DeviceRun() = default;
    // Asks the work to stop; it still ends through onEnd.
    virtual void cancel() = 0;
};

// What DeviceRunner::start gives: the running work, or (run empty) how it ended at once.
struct DeviceStart {
    std::unique_ptr<DeviceRun> run;
    DeviceEnd endedAtOnce;
};

// Starts one device's work of a job.
class DeviceRunner {
public:
    virtual ~DeviceRunner() = default;
    virtual DeviceStart start(
        const JobRequest& request, const JobDevice& device, DeviceRunCallbacks callbacks)
        = 0;
};

} // namespace kovrkit
