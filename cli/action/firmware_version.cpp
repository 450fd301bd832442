#include "cli/action/firmware_version.h"

#include <array>

namespace kovru {
namespace {

struct VersionRow {
    std::string_view firmware;
    std::uint32_t target;
};

constexpr std::array<VersionRow, 4> kChannelRows = { {
    { "1.0.0", 0 },
    { "1.3.0", 1 },
    { "1.3.1", 2 },
    { "1.5.0", 3 },
} };

constexpr std::array<VersionRow, 3> kInputDeviceRows = { {
    { "1.0.0", 0 },
    { "1.3.1", 2 },
    { "2.2.4", 3 },
} };

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The number at the front of text (saturating), and text moved past the component.
unsigned long long take_component(std::string_view& text)
{
    unsigned long long value = 0;
    std::size_t i = 0;
    for (; i < text.size() && is_digit(text[i]); ++i)
        value = value > 1'000'000'000'000ULL ? value : value * 10 + (text[i] - '0');
    std::size_t dot = text.find('.', i);
    text = dot == std::string_view::npos ? std::string_view {} : text.substr(dot + 1);
    return value;
}

template <std::size_t N>
std::optional<std::uint32_t> lookup(
    const std::array<VersionRow, N>& rows, std::string_view firmware)
{
    std::uint32_t target = 0;
    for (const VersionRow& row : rows) {
        auto order = compare_firmware_versions(row.firmware, firmware);
        if (!order)
            return std::nullopt;
        if (*order <= 0)
            target = row.target;
    }
    return target;
}

} // namespace

std::optional<int> compare_firmware_versions(std::string_view left, std::string_view right)
{
    if (left.empty() || right.empty() || !is_digit(left[0]) || !is_digit(right[0]))
        return std::nullopt;
    while (!left.empty() || !right.empty()) {
        unsigned long long a = take_component(left);
        unsigned long long b = take_component(right);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return 0;
}

std::optional<std::uint32_t> channel_target_version(std::string_view firmware)
{
    return lookup(kChannelRows, firmware);
}

std::optional<std::uint32_t> input_device_target_version(std::string_view firmware)
{
    return lookup(kInputDeviceRows, firmware);
}

} // namespace kovru
