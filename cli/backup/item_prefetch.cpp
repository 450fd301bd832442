#include "cli/backup/item_prefetch.h"

#include "cli/controller_api/http_request.h"
#include "cli/log/log.h"
#include "cli/log/run_cancel.h"
#include "cli/transport/curl_easy.h"
#include "cli/transport/transfer_settings.h"
#include "common/time_divisor.h"

#include <chrono>
#include <utility>

namespace kovru {
namespace {

// Items fetched ahead per connection: enough to keep every connection busy while the
// backup stores, few enough that the answers held stay small.
constexpr std::size_t kItemsAheadPerConnection = 4;
constexpr std::chrono::milliseconds kCancelPoll { 50 };

// A further connection refused or reset: a controller that serves one
// connection at a time.
bool refuses_connection(CURLcode result)
{
    return result == CURLE_COULDNT_CONNECT || result == CURLE_SEND_ERROR
        || result == CURLE_RECV_ERROR;
}

int abort_when_stopping(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return transfer_cancelled() || static_cast<std::atomic<bool>*>(stopping)->load() ? 1 : 0;
}

} // namespace

ItemPrefetch::ItemPrefetch(
    std::string base_url, const std::vector<std::string>& names, int connections)
    : base_(std::move(base_url))
    , names_(names)
    , ahead_(kItemsAheadPerConnection * static_cast<std::size_t>(connections))
    , states_(names.size(), State::waiting)
    , records_(names.size())
{
    running_ = connections;
    for (int k = 0; k < connections; ++k)
        workers_.emplace_back([this] { work(); });
}

ItemPrefetch::~ItemPrefetch()
{
    stopping_ = true;
    changed_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

std::optional<RecordedFetch> ItemPrefetch::take(std::size_t k)
{
    std::unique_lock lock(mutex_);
    taken_ = k + 1;
    changed_.notify_all();
    changed_.wait(lock, [&] { return states_[k] == State::done || running_ == 0; });
    if (refused_ && !warned_) {
        warned_ = true;
        log_warning("The controller refused a further connection; the configuration items are "
                    "fetched over one connection.");
    }
    if (states_[k] == State::done)
        return std::move(records_[k]);
    // No connection of ours is open any more: the rest goes over one, kept open, so that the
    // controller does not see a new connection before it has closed the last.
    TransferSettings one_connection = transfer_settings();
    one_connection.reuse_connection = true;
    set_transfer_settings(one_connection);
    return std::nullopt;
}

bool ItemPrefetch::claim(std::size_t& k)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopping_ || refused_ || transfer_cancelled() || next_ >= names_.size())
            return false;
        if (next_ < taken_ + ahead_)
            break;
        changed_.wait_for(lock, kCancelPoll);
    }
    k = next_++;
    states_[k] = State::claimed;
    return true;
}

void ItemPrefetch::work()
{
    CurlEasy curl = make_curl_easy();
    std::size_t k = 0;
    while (curl && claim(k)) {
        RecordedFetch record;
        const Outcome outcome = fetch(curl.get(), k, record);
        std::lock_guard lock(mutex_);
        if (outcome == Outcome::recorded) {
            records_[k] = std::move(record);
            states_[k] = State::done;
        } else {
            states_[k] = State::waiting;
            refused_ = refused_ || outcome == Outcome::refused;
        }
        changed_.notify_all();
    }
    curl.reset(); // the connection closes before the backup may go on over one of its own
    std::lock_guard lock(mutex_);
    --running_;
    changed_.notify_all();
}

// fetch_item_bytes' attempts, recorded instead of reported.
ItemPrefetch::Outcome ItemPrefetch::fetch(CURL* curl, std::size_t k, RecordedFetch& record)
{
    prepare_item_request(curl, base_, names_[k], record.body);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, abort_when_stopping);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &stopping_);
    for (int attempt = 1;; ++attempt) {
        CURLcode result = curl_easy_perform(curl);
        if (stopping_)
            return Outcome::stopped;
        if (result == CURLE_OK) {
            record.http_status = http_status_of(curl);
            return Outcome::recorded;
        }
        // The item is fetched again over the one connection, from its first attempt.
        if (refuses_connection(result) && !transfer_cancelled())
            return Outcome::refused;
        record.failed_attempts.push_back(result);
        if (attempt == kTransferAttempts || transfer_cancelled()) {
            record.gave_up = true;
            record.data_before_giving_up = !record.body.empty();
            empty_memory_buffer(record.body);
            return Outcome::recorded;
        }
        pause_before_retry();
        empty_memory_buffer(record.body);
    }
}

void ItemPrefetch::pause_before_retry()
{
    std::unique_lock lock(mutex_);
    const auto end = std::chrono::steady_clock::now() + scaled_pause(kRetryPause);
    while (!stopping_ && !transfer_cancelled() && std::chrono::steady_clock::now() < end)
        changed_.wait_for(lock, kCancelPoll);
}

} // namespace kovru
