#pragma once

#include "host/actions/status_document.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/platform/main_loop_poster.h"

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kovrkit {

inline constexpr size_t kMaxStatusReadsInFlight = 64;

// Reads one device's status; stops early once `abandon` is true.
using StatusReader
    = std::function<StatusReading(const std::string& address, const std::atomic<bool>& abandon)>;

// Status requests of the UI, each on a worker of its own: the devices of one request are
// read concurrently (at most kMaxStatusReadsInFlight at a time), their results posted in
// list order as soon as each and every one before it are known, then the summary. Each message
// is a task posted through the main loop that sends it to the UI on the UI thread. The
// workers belong to this object: its destructor abandons what is still being read (nothing
// more is posted) and joins them.
class StatusBatches {
public:
    StatusBatches(MainLoopPoster& poster, UiReplySink& sink, StatusReader reader = {},
        size_t maxInFlight = kMaxStatusReadsInFlight);
    ~StatusBatches();
    StatusBatches(const StatusBatches&) = delete;
    StatusBatches& operator=(const StatusBatches&) = delete;

    void start(std::vector<std::string> addresses, bool wantSummary);

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> finished = false;
    };

    void run(std::vector<std::string> addresses, bool wantSummary);
    void joinFinished();

    void post(std::string message);

    MainLoopPoster& poster_;
    UiReplySink& sink_;
    StatusReader reader_;
    size_t maxInFlight_;
    std::atomic<bool> abandon_ = false;
    std::mutex workersMutex_;
    std::list<std::unique_ptr<Worker>> workers_;
};

} // namespace kovrkit
