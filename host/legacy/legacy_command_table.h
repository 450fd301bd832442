#pragma once

#include "host/bridge/command_table.h"
#include "host/legacy/legacy_flow.h"

namespace kovrkit {

// "legacy_getStatus", "legacy_migrate" and "legacy_uninstall".
CommandTable legacyCommands(LegacyFlow& legacy);

} // namespace kovrkit
