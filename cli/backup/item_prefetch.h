// Fetches a backup's configuration items ahead over several keep-alive connections at once.
// The answers are handed out in table order, so the backup reports and stores them exactly
// as a sequential one would.
#pragma once

#include "cli/controller/controller_client.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kovru {

class ItemPrefetch {
public:
    ItemPrefetch(std::string base_url, const std::vector<std::string>& names, int connections);
    // Stops the fetches still running (their answers are not wanted) and closes the connections.
    ~ItemPrefetch();
    ItemPrefetch(const ItemPrefetch&) = delete;
    ItemPrefetch& operator=(const ItemPrefetch&) = delete;

    // Waits for item k's fetch. nullopt when it is left to the caller: the controller refused a
    // further connection, and the items not fetched by then go over one connection.
    std::optional<RecordedFetch> take(std::size_t k);

private:
    enum class State { waiting, claimed, done };
    enum class Outcome { recorded, refused, stopped };

    void work();
    bool claim(std::size_t& k);
    Outcome fetch(CURL* curl, std::size_t k, RecordedFetch& record);
    void pause_before_retry();

    const std::string base_;
    const std::vector<std::string>& names_;
    const std::size_t ahead_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<State> states_;
    std::vector<RecordedFetch> records_;
    std::size_t next_ = 0;
    std::size_t taken_ = 0;
    int running_ = 0;
    bool refused_ = false;
    bool warned_ = false;
    std::atomic<bool> stopping_ { false };
    std::vector<std::thread> workers_;
};

} // namespace kovru
