#pragma once

#include <string>

namespace kovrkit {

// What the message layer needs from the web view engine: one call that hands a JSON text to
// the page, where it arrives as the `data` of a message event. A text the engine cannot
// deliver is lost.
class WebViewPort {
public:
    virtual ~WebViewPort() = default;
    virtual void postMessageJson(const std::string& json) = 0;
};

} // namespace kovrkit
