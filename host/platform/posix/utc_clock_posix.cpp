#include "host/platform/utc_clock.h"

#include <ctime>

namespace kovrkit {

static std::tm utcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    return utc;
}

std::string utcTimestamp()
{
    const std::tm utc = utcNow();
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string utcFileStamp()
{
    const std::tm utc = utcNow();
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

} // namespace kovrkit
