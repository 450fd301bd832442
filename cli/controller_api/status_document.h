// The status document a controller answers "/api/v100/status.ssi" with.
#pragma once

#include "cli/controller_api/controller_status.h"

#include <string_view>

namespace kovru {

// Reads a status document; true when it held a string "model_name".
bool read_status_document(std::string_view body, ControllerStatus& status);

} // namespace kovru
