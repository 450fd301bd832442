#pragma once

#include "host/bridge/host_records.h"

namespace kovrkit {

// Where device actions report, on the UI thread.
class ActionReplies {
public:
    virtual ~ActionReplies() = default;
    virtual void sendResult(const PostedActionResult& result) = 0;
    virtual void sendSummary(const PostedBatchSummary& summary) = 0;
};

} // namespace kovrkit
