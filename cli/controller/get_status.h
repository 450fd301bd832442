// The get_status action: reads the controller's status and prints its model name.
#pragma once

#include <optional>
#include <string>

namespace kovru {

// 0 when the status held a model name, 1 when it did not or the request failed, 2 without
// an address.
int get_status(const std::optional<std::string>& address);

} // namespace kovru
