#pragma once

#include "host/bridge/ui_reply_sink.h"
#include "host/legacy/legacy_flow.h"

namespace kovrkit {

// Legacy migration of a build without the migration flow: the status reports nothing found,
// and migrating or uninstalling fails with a message that says why.
class UnavailableLegacyFlow final : public LegacyFlow {
public:
    explicit UnavailableLegacyFlow(UiReplySink& sink)
        : sink_(sink)
    {
    }

    void statusCheck() override;
    void migrate() override;
    void uninstall() override;

private:
    UiReplySink& sink_;
};

} // namespace kovrkit
