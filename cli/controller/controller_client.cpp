#include "cli/controller/controller_client.h"

#include "cli/controller_api/http_request.h"
#include "cli/controller_api/status_document.h"
#include "cli/log/log.h"
#include "cli/transport/curl_easy.h"
#include "cli/transport/reused_connection.h"

#include <cstdio>

namespace kovru {

std::string base_url(std::string_view address)
{
    return "http://" + std::string(address);
}

int fetch_status(const std::string& base, ControllerStatus& status)
{
    if (base.empty())
        return 1;
    CurlEasy curl = make_curl_easy();
    if (!curl)
        return 1;
    std::string url = base + "/api/v100/status.ssi";
    print_out("%s\tfetching URL '%s'.\n", "status", url.c_str());
    MemoryBuffer body;
    set_controller_request_options(curl.get(), url, verbose());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, append_to_memory_buffer);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    stop_on_cancel(curl.get());
    CURLcode result = curl_easy_perform(curl.get());
    if (result != CURLE_OK) {
        print_error("curl_easy_perform() failed: %s\n", transfer_error_text(result));
        note_failure_cause(cause_of_transfer_error(result, !body.empty()));
        return 1;
    }
    print_out("%s\treceived %llu bytes.\n", "status", static_cast<unsigned long long>(body.size()));
    // An error page is no status document, whatever it holds.
    if (long http_status = http_status_of(curl.get()); http_status >= 400) {
        log_error("Status request failed with HTTP %ld.", http_status);
        note_failure_cause(FailureCause::controller_refused);
        return 1;
    }
    std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
    return read_status_document(text, status) ? 0 : 1;
}

namespace {

std::string item_url(const std::string& base, const std::string& item_name)
{
    return base + "/api/v100/backup.ssi?config=" + item_name;
}

void report_failed_attempt(CURLcode result, int attempt)
{
    const char* text = transfer_error_text(result);
    print_error("curl_easy_perform() failed: %s (%d) (attempt %d/%d)\n", text,
        static_cast<int>(result), attempt, kTransferAttempts);
    log_error(
        "%s\tTransfer failed: %s (attempt %d/%d)", "backup", text, attempt, kTransferAttempts);
}

void report_retry(int attempt)
{
    log_warning("Retrying backup fetch (retry %d of %d)...", attempt, kTransferAttempts);
}

// An answer arrived: 0, or kItemRefused with out emptied for an HTTP error status.
int check_item_answer(long http_status, const std::string& item_name, MemoryBuffer& out)
{
    print_out("%s\treceived %llu bytes.\n", "backup", static_cast<unsigned long long>(out.size()));
    if (http_status >= 400) {
        log_error("%s\tThe controller answered HTTP %ld for %s.", "backup", http_status,
            item_name.c_str());
        note_failure_cause(FailureCause::controller_refused);
        empty_memory_buffer(out);
        return kItemRefused;
    }
    return 0;
}

} // namespace

int fetch_item_bytes(const std::string& base, const std::string& item_name, MemoryBuffer& out)
{
    if (base.empty() || item_name.empty())
        return 1;
    CurlEasy own;
    CURL* handle = request_handle(own);
    if (!handle)
        return 1;
    std::string url = item_url(base, item_name);
    print_out("%s\tfetching URL '%s'.\n", "backup", url.c_str());
    set_controller_request_options(handle, url, verbose());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, append_to_memory_buffer);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &out);
    stop_on_cancel(handle);
    for (int attempt = 1;; ++attempt) {
        CURLcode result = curl_easy_perform(handle);
        if (result == CURLE_OK)
            break;
        report_failed_attempt(result, attempt);
        if (attempt == kTransferAttempts || transfer_cancelled()) {
            note_failure_cause(cause_of_transfer_error(result, !out.empty()));
            empty_memory_buffer(out);
            return kItemTransferFailed;
        }
        report_retry(attempt);
        pause_before_retry();
        empty_memory_buffer(out);
    }
    return check_item_answer(http_status_of(handle), item_name, out);
}

void prepare_item_request(
    CURL* handle, const std::string& base, const std::string& item_name, MemoryBuffer& out)
{
    curl_easy_reset(handle);
    set_controller_request_options(handle, item_url(base, item_name), verbose());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, append_to_memory_buffer);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &out);
}

int report_recorded_fetch(
    const std::string& base, const std::string& item_name, RecordedFetch& record, MemoryBuffer& out)
{
    print_out("%s\tfetching URL '%s'.\n", "backup", item_url(base, item_name).c_str());
    for (std::size_t k = 0; k < record.failed_attempts.size(); ++k) {
        const int attempt = static_cast<int>(k) + 1;
        report_failed_attempt(record.failed_attempts[k], attempt);
        if (record.gave_up && k + 1 == record.failed_attempts.size()) {
            note_failure_cause(
                cause_of_transfer_error(record.failed_attempts[k], record.data_before_giving_up));
            return kItemTransferFailed;
        }
        report_retry(attempt);
    }
    out = std::move(record.body);
    return check_item_answer(record.http_status, item_name, out);
}

} // namespace kovru
