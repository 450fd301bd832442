#include "cli/transport/tftp_pacing.h"

#include <algorithm>

namespace kovru {
namespace {

using namespace std::chrono_literals;

constexpr int kFewestRetries = 3;
constexpr int kMostRetries = 50;
constexpr int kSecondsPerRetry = 5;
constexpr std::size_t kSpeedSamples = 6; // five seconds between the oldest and the newest

} // namespace

TftpRetryRhythm tftp_retry_rhythm(std::chrono::milliseconds left)
{
    const long long seconds = std::max<long long>((left.count() + 500) / 1000, 0);
    TftpRetryRhythm rhythm;
    rhythm.retry_max = static_cast<int>(
        std::clamp<long long>(seconds / kSecondsPerRetry, kFewestRetries, kMostRetries));
    rhythm.retry_seconds = std::max(1, static_cast<int>(seconds / rhythm.retry_max));
    return rhythm;
}

LowSpeedWatch::LowSpeedWatch(long bytes_per_second, std::chrono::milliseconds window)
    : limit_(bytes_per_second)
    , window_(window)
{
}

bool LowSpeedWatch::too_slow(Clock::time_point now, std::uint64_t bytes_so_far)
{
    if (samples_.empty() || now - samples_.back().at >= 1s) {
        samples_.push_back({ now, bytes_so_far });
        if (samples_.size() > kSpeedSamples)
            samples_.pop_front();
    } else {
        return false;
    }
    if (samples_.size() < 2) {
        slow_since_ = now; // nothing moved yet
        return false;
    }
    const Sample& oldest = samples_.front();
    const double span_s = std::chrono::duration<double>(now - oldest.at).count();
    const double speed = static_cast<double>(bytes_so_far - oldest.bytes) / span_s;
    if (speed >= static_cast<double>(limit_)) {
        slow_since_.reset();
        return false;
    }
    if (!slow_since_)
        slow_since_ = now;
    return now - *slow_since_ >= window_;
}

} // namespace kovru
