#include "host/discovery/controller_scan.h"

#include "common/curl_handles.h"
#include "host/actions/status_client.h"
#include "host/actions/status_document.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>

namespace kovrkit {

namespace {

// A status document is a few hundred bytes; anything far larger is not one.
constexpr size_t kMaxProbeBody = 256 * 1024;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using CurlMulti = std::unique_ptr<CURLM, MultiCleanup>;

struct SlistCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistCleanup>;

struct Probe {
    kovru::CurlEasy handle;
    size_t index = 0;
    std::string url;
    std::string body;
    bool attached = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* user)
{
    auto* probe = static_cast<Probe*>(user);
    size_t bytes = size * count;
    if (probe->body.size() + bytes > kMaxProbeBody)
        return 0;
    probe->body.append(data, bytes);
    return bytes;
}

std::string probeUrl(const ScanTarget& target)
{
    return "http://" + addressText(target.address) + ":" + std::to_string(target.port)
        + kStatusPath;
}

bool configure(Probe& probe, const ScanTarget& target, long timeoutMs, curl_slist* headers)
{
    CURL* handle = probe.handle.get();
    probe.url = probeUrl(target);
    probe.body.clear();
    bool ok = curl_easy_setopt(handle, CURLOPT_URL, probe.url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http") == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_PROXY, "") == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_USERAGENT, kStatusUserAgent) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L) == CURLE_OK;
    // Every address is asked once; a cache entry per address would only make each lookup of
    // a wide scan walk a longer cache.
    ok = ok && curl_easy_setopt(handle, CURLOPT_DNS_CACHE_TIMEOUT, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeoutMs) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_WRITEDATA, &probe) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_PRIVATE, &probe) == CURLE_OK;
    return ok;
}

ProbeOutcome outcomeOf(CURLcode result, Probe& probe, ControllerIdentity& identity)
{
    long httpStatus = 0;
    curl_easy_getinfo(probe.handle.get(), CURLINFO_RESPONSE_CODE, &httpStatus);
    if (result == CURLE_OK)
        return httpStatus >= 200 && httpStatus <= 299
                && identityFromStatusBody(probe.body, identity)
            ? ProbeOutcome::found
            : ProbeOutcome::other;
    if (httpStatus > 0)
        return ProbeOutcome::other;
    if (result == CURLE_OPERATION_TIMEDOUT)
        return ProbeOutcome::silent;
    long connected = 0;
    curl_easy_getinfo(probe.handle.get(), CURLINFO_LOCAL_PORT, &connected);
    // Connected and then cut off or answered with something that is no HTTP.
    return connected > 0 && result != CURLE_COULDNT_CONNECT ? ProbeOutcome::other
                                                            : ProbeOutcome::closed;
}

class ScanLoop {
public:
    ScanLoop(const std::vector<ScanTarget>& targets, const ScanSettings& settings,
        const ScanProgress& progress, const std::atomic<bool>* abandon)
        : targets_(targets)
        , settings_(settings)
        , progress_(progress)
        , abandon_(abandon)
    {
    }

    ScanOutcome run();

private:
    bool startNext(Probe& probe);
    void collectFinished();
    void reportProgress(bool last);

    const std::vector<ScanTarget>& targets_;
    const ScanSettings& settings_;
    const ScanProgress& progress_;
    const std::atomic<bool>* abandon_;
    CurlMulti multi_;
    HeaderList headers_;
    std::vector<std::unique_ptr<Probe>> probes_;
    std::vector<ProbeResult> results_;
    size_t next_ = 0;
    size_t done_ = 0;
    size_t found_ = 0;
    size_t running_ = 0;
    bool failed_ = false;
    std::chrono::steady_clock::time_point lastReport_;
};

bool ScanLoop::startNext(Probe& probe)
{
    if (next_ >= targets_.size())
        return false;
    probe.index = next_++;
    results_[probe.index].target = targets_[probe.index];
    if (!configure(probe, targets_[probe.index], settings_.timeoutMs, headers_.get())
        || curl_multi_add_handle(multi_.get(), probe.handle.get()) != CURLM_OK) {
        failed_ = true;
        return false;
    }
    probe.attached = true;
    ++running_;
    return true;
}

void ScanLoop::collectFinished()
{
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Probe* probe = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &probe);
        CURLcode result = message->data.result;
        ProbeResult& slot = results_[probe->index];
        slot.outcome = outcomeOf(result, *probe, slot.identity);
        found_ += slot.outcome == ProbeOutcome::found ? 1 : 0;
        ++done_;
        curl_multi_remove_handle(multi_.get(), probe->handle.get());
        probe->attached = false;
        --running_;
        startNext(*probe);
    }
}

void ScanLoop::reportProgress(bool last)
{
    auto now = std::chrono::steady_clock::now();
    if (!progress_ || (!last && now - lastReport_ < kProgressInterval))
        return;
    lastReport_ = now;
    progress_(done_, targets_.size(), found_);
}

ScanOutcome ScanLoop::run()
{
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_ALL); });

    multi_.reset(curl_multi_init());
    headers_.reset(curl_slist_append(nullptr, "Connection: close"));
    if (!multi_ || !headers_)
        return { false, "Failed to initialize HTTP session", {} };
    results_.resize(targets_.size());
    size_t slots = std::min(std::max<size_t>(settings_.maxInFlight, 1), targets_.size());
    for (size_t i = 0; i < slots; ++i) {
        probes_.push_back(std::make_unique<Probe>());
        probes_.back()->handle = kovru::make_curl_easy();
        if (!probes_.back()->handle)
            return { false, "Failed to initialize HTTP session", {} };
        startNext(*probes_.back());
    }
    lastReport_ = std::chrono::steady_clock::now();
    while (running_ > 0 && !failed_) {
        if (abandon_ && abandon_->load())
            break;
        int stillRunning = 0;
        if (curl_multi_perform(multi_.get(), &stillRunning) != CURLM_OK) {
            failed_ = true;
            break;
        }
        collectFinished();
        reportProgress(false);
        if (running_ > 0)
            curl_multi_poll(multi_.get(), nullptr, 0, 100, nullptr);
    }
    for (auto& probe : probes_) {
        if (probe->attached)
            curl_multi_remove_handle(multi_.get(), probe->handle.get());
    }
    if (abandon_ && abandon_->load())
        return { false, "Scan abandoned", {} };
    if (failed_)
        return { false, "Failed to send status requests", {} };
    reportProgress(true);
    return { true, {}, std::move(results_) };
}

} // namespace

bool identityFromStatusBody(std::string_view body, ControllerIdentity& identity)
{
    StatusReading reading = readStatusBody(200, body);
    if (!reading.ok)
        return false;
    auto field = [&](const char* name) {
        const auto& value = reading.fields[name];
        return value.is_string() ? value.get<std::string>() : std::string();
    };
    identity
        = { field("model_name"), field("firmware_version"), field("serial_number"), field("mac") };
    return !identity.model.empty() || !identity.serial.empty();
}

ScanOutcome scanForControllers(const std::vector<ScanTarget>& targets, const ScanSettings& settings,
    const ScanProgress& progress, const std::atomic<bool>* abandon)
{
    if (targets.empty()) {
        if (progress)
            progress(0, 0, 0);
        return { true, {}, {} };
    }
    return ScanLoop(targets, settings, progress, abandon).run();
}

} // namespace kovrkit
