#pragma once

#include "host/actions/device_action_command_table.h"
#include "host/bridge/app_info_command_table.h"
#include "host/bridge/file_command_table.h"
#include "host/bridge/message_bridge.h"
#include "host/bridge/sites_command_table.h"
#include "host/identity/app_identity.h"
#include "host/legacy/legacy_flow.h"

namespace kovrkit::testing {

// The services a test puts behind the bridge; device actions and legacy flow are optional,
// and a legacy flow set later still receives the commands.
struct BridgeServices {
    const AppIdentity& identity;
    Dialogs& dialogs;
    UrlOpener& urlOpener;
    SitesStorage& sites;
    DeviceActions* deviceActions = nullptr;
    LegacyFlow* const* legacyFlow = nullptr;
};

// Adds every feature's commands to the bridge, as the host's start-up does.
inline void addAllCommands(MessageBridge& bridge, const BridgeServices& services)
{
    LegacyFlow* const* legacy = services.legacyFlow;
    bridge.addCommands(appInfoCommands(services.identity, bridge, [legacy] {
        if (legacy && *legacy)
            (*legacy)->statusCheck();
    }));
    bridge.addCommands(sitesCommands(services.sites, bridge));
    bridge.addCommands(fileCommands(services.dialogs, services.urlOpener, bridge));
    if (services.deviceActions)
        bridge.addCommands(deviceActionCommands(*services.deviceActions, bridge));
}

} // namespace kovrkit::testing
