#pragma once

#include "host/jobs/device_run.h"

#include <memory>
#include <string>
#include <vector>

namespace kovrkit::testing {

// A DeviceRunner whose runs end only when the test ends them; it notes every start.
class FakeDeviceRunner final : public DeviceRunner {
public:
    struct Started {
        std::string ip;
        JobAction action;
        bool imageCheck;
        bool running = true;
        bool cancelled = false;
        DeviceRunCallbacks callbacks;
    };

    DeviceStart start(
        const JobRequest& request, const JobDevice& device, DeviceRunCallbacks callbacks) override
    {
        auto started = std::make_shared<Started>(Started {
            device.ip, request.action, request.imageCheck, true, false, std::move(callbacks) });
        runs.push_back(started);
        return { std::make_unique<Run>(started), {} };
    }

    // The runs still going, in the order they started.
    std::vector<std::shared_ptr<Started>> running() const
    {
        std::vector<std::shared_ptr<Started>> found;
        for (const auto& run : runs) {
            if (run->running)
                found.push_back(run);
        }
        return found;
    }

    // Ends a running run as the engine would hear it from the runner.
    static void end(const std::shared_ptr<Started>& run, DeviceEnd end)
    {
        run->running = false;
        auto onEnd = std::move(run->callbacks.onEnd);
        onEnd(std::move(end));
    }

    std::vector<std::shared_ptr<Started>> runs;

private:
    class Run final : public DeviceRun {
    public:
        explicit Run(std::shared_ptr<Started> started)
            : started_(std::move(started))
        {
        }
        ~Run() override { started_->running = false; }
        void cancel() override { started_->cancelled = true; }

    private:
        std::shared_ptr<Started> started_;
    };
};

} // namespace kovrkit::testing
