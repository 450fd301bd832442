#include "host/identity/origins.h"

namespace kovrkit {

std::string_view acceptedOrigin(bool devMode)
{
    return devMode ? kDevOrigin : kAppOrigin;
}

std::string_view startUri(bool devMode)
{
    return devMode ? kDevStartUri : kAppStartUri;
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
