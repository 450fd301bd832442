#include "host/legacy/legacy_command_table.h"

namespace kovrkit {

CommandTable legacyCommands(LegacyFlow& legacy)
{
    return {
        { "legacy_getStatus", [&legacy](const nlohmann::json&) { legacy.statusCheck(); } },
        { "legacy_migrate", [&legacy](const nlohmann::json&) { legacy.migrate(); } },
        { "legacy_uninstall", [&legacy](const nlohmann::json&) { legacy.uninstall(); } },
    };
}

} // namespace kovrkit
