#pragma once

#include <string>
#include <vector>

namespace kovrkit {

// Trimmed, blank pieces dropped, later copies of an address dropped (exact comparison).
std::vector<std::string> uniqueDeviceList(const std::vector<std::string>& addresses);

} // namespace kovrkit
