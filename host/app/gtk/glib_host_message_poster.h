#pragma once

#include "host/bridge/host_records.h"

#include <functional>

namespace kovrkit {

// Hands records to the GTK main loop: the handler runs there, on the UI thread, once per
// posted record.
class GLibHostMessagePoster final : public HostMessagePoster {
public:
    using Handler = std::function<bool(HostMessageId, void*)>;
    explicit GLibHostMessagePoster(Handler handler)
        : handler_(std::move(handler))
    {
    }

    bool postHostMessage(HostMessageId id, void* record) override;

private:
    Handler handler_;
};

} // namespace kovrkit
