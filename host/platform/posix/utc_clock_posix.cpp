#include "host/platform/utc_clock.h"

#include <ctime>

namespace kovrkit {

static std::string formatUtcNow(const char* format)
{
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    char text[32] = {};
    std::strftime(text, sizeof text, format, &utc);
    return text;
}

std::string utcTimestamp()
{
    return formatUtcNow("%Y-%m-%dT%H:%M:%SZ");
}

std::string utcFileStamp()
{
    return formatUtcNow("%Y%m%dT%H%M%SZ");
}

} // namespace kovrkit
