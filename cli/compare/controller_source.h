// A controller's live configuration items, each fetched as a backup fetches it.
#pragma once

#include "cli/compare/config_source.h"

#include <string>

namespace kovru {

class ControllerSource : public ConfigSource {
public:
    explicit ControllerSource(std::string base_url)
        : base_url_(std::move(base_url))
    {
    }

    // An item the controller answers for without a usable image is absent; one it does not
    // answer for at all, after every attempt, is trouble.
    ItemRead read(const ConfigItem& item) override;

private:
    std::string base_url_;
};

} // namespace kovru
