#pragma once

#include "host/identity/origins.h"

namespace kovrkit {

// True when "--dev" appears anywhere in the arguments, also inside a longer word.
bool hasDevSwitch(int argc, const char* const* argv);

} // namespace kovrkit
