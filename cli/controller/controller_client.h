// The HTTP requests kovru-cli makes to read from a controller's "/api/v100" interface.
#pragma once

#include "cli/controller_api/controller_status.h"
#include "common/memory_buffer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kovru {

// "http://" + the controller address as typed (host or address, optional ":port").
std::string base_url(std::string_view address);

// GET /api/v100/status.ssi, read into status. 0 when the document held a "model_name".
int fetch_status(const std::string& base_url, ControllerStatus& status);

// GET /api/v100/backup.ssi?config=NAME with up to five attempts, 1000 ms apart, appending
// the answer to out. 0 when an answer arrived (the caller checks its content), else 1.
int fetch_item_bytes(const std::string& base_url, const std::string& item_name, MemoryBuffer& out);

} // namespace kovru
