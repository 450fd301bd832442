#include "host/backups/device_key.h"

namespace kovrkit {

namespace {

constexpr std::size_t kMaxKeyLength = 128;

bool isSafe(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'
        || c == '-' || c == '_';
}

} // namespace

std::string deviceKey(std::string_view serial, std::string_view address)
{
    std::string_view source = serial.empty() ? address : serial;
    std::string key;
    for (char c : source.substr(0, kMaxKeyLength))
        key += isSafe(c) ? c : '_';
    if (key.empty())
        return "_";
    if (key.front() == '.')
        key.front() = '_';
    return key;
}

} // namespace kovrkit
