#include "host/actions/status_batches.h"

#include "host/actions/action_messages.h"
#include "host/actions/device_list.h"
#include "host/actions/result_order.h"
#include "host/actions/status_client.h"
#include "host/bridge/outgoing_messages.h"

#include <algorithm>
#include <system_error>

namespace kovrkit {

namespace {

std::string messageOf(const ActionResult& result)
{
    return nativeActionResultMessage(result.action, result.success, result.exitCode, result.message,
        result.deviceIp, result.data);
}

ActionResult resultOf(const StatusReading& reading, const std::string& address)
{
    return { kGetStatusAction, reading.ok && reading.code == 0, reading.code, reading.message,
        address, reading.ok ? reading.fields.dump() : "" };
}

// One batch: the devices, the order results go out in, and the counts.
struct BatchState {
    std::vector<std::string> devices;
    ResultOrder order;
    std::atomic<size_t> nextDevice = 0;
    std::mutex mutex;
    int32_t succeeded = 0;

    explicit BatchState(std::vector<std::string> list)
        : devices(std::move(list))
        , order(devices.size())
    {
    }
};

} // namespace

StatusBatches::StatusBatches(
    MainLoopPoster& poster, UiReplySink& sink, StatusReader reader, size_t maxInFlight)
    : poster_(poster)
    , sink_(sink)
    , reader_(std::move(reader))
    , maxInFlight_(std::max<size_t>(1, maxInFlight))
{
    if (!reader_)
        reader_ = [](const std::string& address, const std::atomic<bool>& abandon) {
            return readDeviceStatus(address, &abandon);
        };
}

StatusBatches::~StatusBatches()
{
    abandon_ = true;
    std::lock_guard<std::mutex> lock(workersMutex_);
    for (auto& worker : workers_)
        worker->thread.join();
}

void StatusBatches::start(std::vector<std::string> addresses, bool wantSummary)
{
    joinFinished();
    auto worker = std::make_unique<Worker>();
    Worker* started = worker.get();
    std::lock_guard<std::mutex> lock(workersMutex_);
    worker->thread = std::thread([this, started, addresses = std::move(addresses), wantSummary] {
        run(addresses, wantSummary);
        started->finished = true;
    });
    workers_.push_back(std::move(worker));
}

void StatusBatches::joinFinished()
{
    std::lock_guard<std::mutex> lock(workersMutex_);
    for (auto worker = workers_.begin(); worker != workers_.end();) {
        if ((*worker)->finished) {
            (*worker)->thread.join();
            worker = workers_.erase(worker);
        } else {
            ++worker;
        }
    }
}

void StatusBatches::post(std::string message)
{
    UiReplySink& sink = sink_;
    poster_.post(
        [&sink, message = std::move(message)]() mutable { sink.sendToUi(std::move(message)); });
}

void StatusBatches::run(std::vector<std::string> addresses, bool wantSummary)
{
    BatchState batch(uniqueDeviceList(addresses));
    if (batch.devices.empty()) {
        post(nativeActionResultMessage(kGetStatusAction, false, -1, kMissingDeviceMessage, "", ""));
        if (wantSummary)
            post(nativeActionBatchSummaryMessage(kGetStatusAction, 0, 0, 0));
        return;
    }

    auto readDevices = [this, &batch] {
        for (size_t index = batch.nextDevice++; index < batch.devices.size() && !abandon_;
             index = batch.nextDevice++) {
            ActionResult result
                = resultOf(reader_(batch.devices[index], abandon_), batch.devices[index]);
            std::lock_guard<std::mutex> lock(batch.mutex);
            if (abandon_)
                return;
            if (result.success)
                ++batch.succeeded;
            for (const ActionResult& ready : batch.order.complete(index, std::move(result)))
                post(messageOf(ready));
        }
    };
    size_t helpers = std::min(maxInFlight_, batch.devices.size()) - 1;
    std::vector<std::thread> readers;
    try {
        for (size_t helper = 0; helper < helpers; ++helper)
            readers.emplace_back(readDevices);
    } catch (const std::system_error&) {
        // Fewer threads than wished for: the ones there are read every device all the same.
    }
    readDevices();
    for (std::thread& reader : readers)
        reader.join();

    if (wantSummary && !abandon_) {
        auto total = static_cast<int32_t>(batch.devices.size());
        post(nativeActionBatchSummaryMessage(
            kGetStatusAction, total, batch.succeeded, total - batch.succeeded));
    }
}

} // namespace kovrkit
