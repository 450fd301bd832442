#pragma once

#include <string>

namespace kovrkit {

// Opens a link in the user's default browser; false when the system could not.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool openInBrowser(const std::string& url) = 0;
};

} // namespace kovrkit
