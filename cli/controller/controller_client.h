// The HTTP requests kovru-cli makes to read from a controller's "/api/v100" interface.
#pragma once

#include "cli/controller_api/controller_status.h"
#include "common/memory_buffer.h"

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kovru {

// "http://" + the controller address as typed (host or address, optional ":port").
std::string base_url(std::string_view address);

// GET /api/v100/status.ssi, read into status. 0 when the document held a "model_name"; an
// answer with an HTTP error status is not read.
int fetch_status(const std::string& base_url, ControllerStatus& status);

// fetch_item_bytes gave up after its last attempt failed in transfer.
inline constexpr int kItemTransferFailed = 1;
// The controller answered with an HTTP error status; such an answer is not retried.
inline constexpr int kItemRefused = 5;

// GET /api/v100/backup.ssi?config=NAME with up to five attempts, 1000 ms apart, appending
// the answer to out. 0 when an answer arrived (the caller checks its content), else
// kItemTransferFailed or kItemRefused with out empty.
int fetch_item_bytes(const std::string& base_url, const std::string& item_name, MemoryBuffer& out);

// An item fetch made ahead on a connection of its own, to be reported in table order: what
// fetch_item_bytes would have met on its attempts.
struct RecordedFetch {
    std::vector<CURLcode> failed_attempts;
    // The last failed attempt ended the fetch (the fifth, or the run was cancelled).
    bool gave_up = false;
    bool data_before_giving_up = false;
    MemoryBuffer body;
    long http_status = 0;
};

// Makes handle (kept open between items) ask for the item, appending the answer to out.
void prepare_item_request(
    CURL* handle, const std::string& base_url, const std::string& item_name, MemoryBuffer& out);

// Prints, logs and notes what fetch_item_bytes would for the same attempts, and moves the
// answer into out; the same results as fetch_item_bytes.
int report_recorded_fetch(const std::string& base_url, const std::string& item_name,
    RecordedFetch& record, MemoryBuffer& out);

} // namespace kovru
