#pragma once

#include "host/legacy/legacy_locations.h"

namespace kovrkit {

// The Wine prefix of this user ($WINEPREFIX, else ~/.wine): Local AppData is its
// drive_c/users/<user>/AppData/Local when that folder exists, else $LOCALAPPDATA, else unknown;
// the hives are its user.reg and system.reg.
LegacyLocations winePrefixLocations();

} // namespace kovrkit
