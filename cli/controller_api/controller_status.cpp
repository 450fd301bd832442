#include "cli/controller_api/controller_status.h"

namespace kovru {

const std::optional<std::string>& ControllerStatus::get(std::string_view key) const
{
    static const std::optional<std::string> absent;
    for (std::size_t i = 0; i < kControllerStatusKeys.size(); ++i)
        if (kControllerStatusKeys[i] == key)
            return values[i];
    return absent;
}

std::optional<std::string>* ControllerStatus::find(std::string_view key)
{
    for (std::size_t i = 0; i < kControllerStatusKeys.size(); ++i)
        if (kControllerStatusKeys[i] == key)
            return &values[i];
    return nullptr;
}

} // namespace kovru
