#include "host/identity/origins.h"

#include <cstdlib>
#include <string>

namespace kovrkit {

namespace {

std::string devOrigin()
{
    const char* value = std::getenv(kTestDevPortVariable);
    std::string_view port = value ? value : "";
    if (port.empty() || port.size() > 5 || port.front() == '0'
        || port.find_first_not_of("0123456789") != std::string_view::npos
        || std::stol(std::string(port)) > 65535)
        return std::string(kDevOrigin);
    return "http://localhost:" + std::string(port);
}

const std::string& devOriginOnce()
{
    static const std::string origin = devOrigin();
    return origin;
}

} // namespace

std::string_view acceptedOrigin(bool devMode)
{
    return devMode ? std::string_view(devOriginOnce()) : kAppOrigin;
}

std::string_view startUri(bool devMode)
{
    static const std::string uri = devOriginOnce() + "/";
    return devMode ? std::string_view(uri) : kAppStartUri;
}

bool isFromOrigin(std::string_view uri, std::string_view origin)
{
    if (!uri.starts_with(origin))
        return false;
    if (uri.size() == origin.size())
        return true;
    char next = uri[origin.size()];
    return next == '/' || next == '?' || next == '#';
}

} // namespace kovrkit
