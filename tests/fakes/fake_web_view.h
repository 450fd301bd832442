#pragma once

#include "host/platform/web_view_port.h"

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kovrkit::testing {

// Records every JSON text the host hands to the page.
class FakeWebView final : public WebViewPort {
public:
    void postMessageJson(const std::string& json) override { posted.push_back(json); }

    // The command names of the posted messages, in order.
    std::vector<std::string> commands() const
    {
        std::vector<std::string> names;
        for (const std::string& text : posted)
            names.push_back(nlohmann::json::parse(text).at("command").get<std::string>());
        return names;
    }
    nlohmann::json payloadAt(size_t index) const
    {
        return nlohmann::json::parse(posted.at(index)).at("payload");
    }

    std::vector<std::string> posted;
};

} // namespace kovrkit::testing
