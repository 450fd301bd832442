#include "common/time_divisor.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace kovru {
namespace {

constexpr long kLargestDivisor = 1000;

long read_divisor()
{
    const char* text = std::getenv(kTimeDivisorVariable);
    if (!text)
        return 1;
    long value = 0;
    const char* end = text + std::strlen(text);
    auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end || value < 2 || value > kLargestDivisor)
        return 1;
    return value;
}

} // namespace

long time_divisor()
{
    static const long divisor = read_divisor();
    return divisor;
}

std::chrono::milliseconds scaled_pause(std::chrono::milliseconds pause)
{
    return std::max(std::chrono::milliseconds(1), pause / time_divisor());
}

long scaled_timeout_ms(long seconds)
{
    return std::max(1L, seconds * 1000 / time_divisor());
}

long scaled_low_speed_seconds(long seconds)
{
    return std::max(1L, seconds / time_divisor());
}

} // namespace kovru
