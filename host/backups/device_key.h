// The name of a device's folder in the backup library.
#pragma once

#include <string>
#include <string_view>

namespace kovrkit {

// The serial number when there is one, else the address, as a safe file name: every byte
// other than A-Z, a-z, 0-9, '.', '-' and '_' becomes '_', a leading '.' too, at most 128
// bytes; "_" when nothing is left.
std::string deviceKey(std::string_view serial, std::string_view address);

} // namespace kovrkit
