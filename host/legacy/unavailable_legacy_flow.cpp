#include "host/legacy/unavailable_legacy_flow.h"

#include "host/bridge/outgoing_messages.h"

namespace kovrkit {

void UnavailableLegacyFlow::statusCheck()
{
    bridge_.sendToUi(legacyMigrationStatusMessage(LegacyMigrationStatus {}));
}

void UnavailableLegacyFlow::migrate()
{
    bridge_.sendToUi(
        legacyMigrationFailedMessage("Legacy migration is not available in this build"));
}

void UnavailableLegacyFlow::uninstall()
{
    bridge_.sendToUi(legacyUninstallLaunchResultMessage(
        false, "Legacy uninstall is not available in this build"));
}

} // namespace kovrkit
