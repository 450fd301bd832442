// Any bytes as what kovru-cli writes to its events descriptor, fed to the host's reader in
// two pieces cut where the first byte says, and every event the reader gives is one of the
// documented forms; the job message built from it is valid JSON whatever the text held.
#include "host/jobs/job_messages.h"
#include "host/jobs/tool_events.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void checkEvent(const kovrkit::ToolEvent& event)
{
    using Kind = kovrkit::ToolEvent::Kind;
    if (event.kind == Kind::progress)
        check(event.percent >= 0 && event.percent <= 100);
    if (event.kind == Kind::log) {
        check(event.logKind == "plain" || event.logKind == "success" || event.logKind == "warning"
            || event.logKind == "error");
        check(!nlohmann::json::parse(kovrkit::jobDeviceProgressMessage("1", "ip", 0, event.text))
                   .is_discarded());
    }
    if (event.kind == Kind::cause)
        check(kovrkit::isToolCause(event.text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t cut = size ? data[0] % (size + 1) : 0;
    kovrkit::ToolEventReader reader;
    for (const auto& event : reader.feed(bytes.substr(0, cut)))
        checkEvent(event);
    for (const auto& event : reader.feed(bytes.substr(cut)))
        checkEvent(event);
    return 0;
}
