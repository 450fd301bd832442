#include "host/legacy/unavailable_legacy_flow.h"

#include "host/bridge/outgoing_messages.h"

namespace kovrkit {

void UnavailableLegacyFlow::statusCheck()
{
    sink_.sendToUi(legacyMigrationStatusMessage(LegacyMigrationStatus {}));
}

void UnavailableLegacyFlow::migrate()
{
    sink_.sendToUi(legacyMigrationFailedMessage("Legacy migration is not available in this build"));
}

void UnavailableLegacyFlow::uninstall()
{
    sink_.sendToUi(legacyUninstallLaunchResultMessage(
        false, "Legacy uninstall is not available in this build"));
}

} // namespace kovrkit
