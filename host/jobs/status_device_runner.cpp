#include "host/jobs/status_device_runner.h"

#include "host/actions/status_client.h"

#include <atomic>
#include <thread>

namespace kovrkit {

namespace {

// What the UI thread and the reading thread share; `alive` is read and written on the UI
// thread only.
struct StatusShared {
    std::atomic<bool> abandon = false;
    bool alive = true;
    DeviceRunCallbacks callbacks;
};

class StatusDeviceRun final : public DeviceRun {
public:
    StatusDeviceRun(MainLoopPoster& poster, const StatusReader& reader, std::string address,
        DeviceRunCallbacks callbacks)
        : shared_(std::make_shared<StatusShared>())
    {
        shared_->callbacks = std::move(callbacks);
        thread_ = std::thread([&poster, reader, address = std::move(address), shared = shared_] {
            StatusReading reading = reader(address, shared->abandon);
            poster.post([shared, reading = std::move(reading)] {
                if (!shared->alive)
                    return;
                shared->alive = false;
                auto onEnd = std::move(shared->callbacks.onEnd);
                onEnd(statusRunEnd(reading));
            });
        });
    }

    ~StatusDeviceRun() override
    {
        shared_->alive = false;
        shared_->abandon = true;
        thread_.join();
    }

    void cancel() override { shared_->abandon = true; }

private:
    std::shared_ptr<StatusShared> shared_;
    std::thread thread_;
};

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

StatusDeviceRunner::StatusDeviceRunner(MainLoopPoster& poster, StatusReader reader)
    : poster_(poster)
    , reader_(std::move(reader))
{
    if (!reader_)
        reader_ = [](const std::string& address, const std::atomic<bool>& abandon) {
            return readDeviceStatus(address, &abandon);
        };
}

DeviceEnd statusRunEnd(const StatusReading& reading)
{
    if (reading.ok && reading.code == 0)
        return { true, 0, "", "", reading.message,
            reading.fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) };
    std::string cause = "other";
    if (reading.code > 0 && (reading.code < 200 || reading.code > 299))
        cause = "controller-refused";
    else if (reading.code <= 0
        && (startsWith(reading.message, "Failed to send status request")
            || startsWith(reading.message, "Timed out")
            || startsWith(reading.message, "Failed to connect")))
        cause = "unreachable";
    return { false, reading.code, cause, reading.message, reading.message, "" };
}

DeviceStart StatusDeviceRunner::start(
    const JobRequest&, const JobDevice& device, DeviceRunCallbacks callbacks)
{
    return { std::make_unique<StatusDeviceRun>(poster_, reader_, device.ip, std::move(callbacks)),
        {} };
}

} // namespace kovrkit
