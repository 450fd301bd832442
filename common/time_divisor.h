// Test-only shortening of time-outs and retry pauses. When KOVRU_TEST_TIME_DIVISOR holds a
// whole number from 2 to 1000, every time-out and retry pause of kovru-cli and of the host's
// status client is divided by it, so fault tests finish in seconds. Unset or any other value:
// the time-outs are the normal ones. Read once, on first use.
#pragma once

#include <chrono>

namespace kovru {

inline constexpr const char* kTimeDivisorVariable = "KOVRU_TEST_TIME_DIVISOR";

// 1 unless the variable holds a valid divisor.
long time_divisor();

// The pause divided, at least 1 ms.
std::chrono::milliseconds scaled_pause(std::chrono::milliseconds pause);

// A time-out of whole seconds, divided, in milliseconds (at least 1) for libcurl's *_MS options.
long scaled_timeout_ms(long seconds);

// libcurl's low-speed window counts whole seconds: the divided window, at least 1 s.
long scaled_low_speed_seconds(long seconds);

} // namespace kovru
