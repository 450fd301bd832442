#pragma once

#include "host/bridge/host_services.h"
#include "host/bridge/message_bridge.h"

namespace kovrkit {

// Legacy migration of a build without the migration flow: the status reports nothing found,
// and migrating or uninstalling fails with a message that says why.
class UnavailableLegacyFlow final : public LegacyFlow {
public:
    explicit UnavailableLegacyFlow(MessageBridge& bridge)
        : bridge_(bridge)
    {
    }

    void statusCheck() override;
    void migrate() override;
    void uninstall() override;

private:
    MessageBridge& bridge_;
};

} // namespace kovrkit
