// When a TFTP transfer repeats a packet and when it gives up, in the rhythm the tool's transfers
// have always had: the retransmission interval and the number of repeats follow from the time
// left (until the first answer: of the connect time-out), and a transfer slower than the
// low-speed limit for the low-speed window is abandoned.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace kovru {

struct TftpRetryRhythm {
    int retry_seconds = 1; // also the "timeout" option of the request
    int retry_max = 3;
};

// From the milliseconds left: ((left + 500) / 1000) seconds shared out over 3 to 50 repeats,
// at least 1 s apart.
TftpRetryRhythm tftp_retry_rhythm(std::chrono::milliseconds left);

// The transfer speed over the last five seconds, sampled once a second, against a limit.
class LowSpeedWatch {
public:
    using Clock = std::chrono::steady_clock;

    LowSpeedWatch(long bytes_per_second, std::chrono::milliseconds window);

    // Takes the bytes moved so far; true once the speed stayed below the limit for the
    // whole window.
    bool too_slow(Clock::time_point now, std::uint64_t bytes_so_far);

private:
    struct Sample {
        Clock::time_point at;
        std::uint64_t bytes;
    };

    long limit_;
    std::chrono::milliseconds window_;
    std::deque<Sample> samples_;
    std::optional<Clock::time_point> slow_since_;
};

} // namespace kovru
