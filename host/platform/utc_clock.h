#pragma once

#include <string>

namespace kovrkit {

// "YYYY-MM-DDTHH:MM:SSZ" from the system's UTC clock.
std::string utcTimestamp();

// "YYYYMMDDTHHMMSSZ", the same moment in a form that fits in a file name.
std::string utcFileStamp();

} // namespace kovrkit
