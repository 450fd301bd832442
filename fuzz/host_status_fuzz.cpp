// Any bytes as the body of a 2xx answer to the host's status request, read as the status
// client reads it; the same bytes as the address a status read is sent to. A reading holds
// the seven fields as strings, and succeeds exactly when one of them is not empty.
#include "host/actions/status_address.h"
#include "host/actions/status_document.h"

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

void checkReading(const kovrkit::StatusReading& reading)
{
    if (reading.fields.is_null()) {
        check(!reading.ok);
        return;
    }
    check(reading.fields.is_object() && reading.fields.size() == 7);
    bool anyFilled = false;
    for (const auto& member : reading.fields.items()) {
        check(member.value().is_string());
        anyFilled = anyFilled || !member.value().get_ref<const std::string&>().empty();
    }
    check(reading.ok == anyFilled);
    check(reading.ok == (reading.code == 0));
    // The fields go to the UI as JSON text, serialised as the status batches do (strictly).
    (void)reading.fields.dump();
}

void checkEndpoint(std::string_view address)
{
    const auto endpoint = kovrkit::parseStatusEndpoint(address);
    if (!endpoint)
        return;
    check(!endpoint->host.empty());
    check(endpoint->port >= 1 && endpoint->port <= 65535);
    // Nothing that would change the request's path or credentials reaches the URL.
    check(endpoint->host.find_first_of("/?#@ \r\n") == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    checkReading(kovrkit::readStatusBody(200, body));
    if (size <= 300)
        checkEndpoint(body);
    return 0;
}
