// Any text as the payload of the page's "jobs_start": the checks refuse it or give a request
// whose every field is within its rules.
#include "host/jobs/job_request.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>
#include <variant>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void checkRequest(const kovrkit::JobRequest& request)
{
    check(!request.devices.empty());
    std::set<std::string> addresses;
    for (const auto& device : request.devices) {
        check(!device.ip.empty());
        check(addresses.insert(device.ip).second);
    }
    check(request.concurrency >= 1 && request.concurrency <= kovrkit::kMaxJobConcurrency);
    std::set<int> lines;
    for (const auto& line : request.lines) {
        check(line.line >= 1 && line.line <= 4);
        check(lines.insert(line.line).second);
    }
    check(request.verifySeconds >= 1 && request.verifySeconds <= kovrkit::kMaxVerifySeconds);
    check(request.rollout.canary >= 1 && request.rollout.canary <= kovrkit::kMaxRolloutCount);
    check(request.rollout.stopAfterFailures >= 1
        && request.rollout.stopAfterFailures <= kovrkit::kMaxRolloutCount);
    check(!(request.toLibrary && !request.input.empty()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto payload = nlohmann::json::parse(text, nullptr, false);
    if (payload.is_discarded())
        return 0;
    const auto read = kovrkit::readJobStart(payload);
    if (const auto* request = std::get_if<kovrkit::JobRequest>(&read))
        checkRequest(*request);
    else
        check(!std::get<std::string>(read).empty());
    return 0;
}
