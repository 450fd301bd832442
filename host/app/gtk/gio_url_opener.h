#pragma once

#include "host/platform/url_opener.h"

namespace kovrkit {

class GioUrlOpener final : public UrlOpener {
public:
    bool openInBrowser(const std::string& url) override;
};

} // namespace kovrkit
