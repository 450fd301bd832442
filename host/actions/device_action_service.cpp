#include "host/actions/device_action_service.h"

namespace kovrkit {

void BridgeActionReplies::sendResult(const PostedActionResult& result)
{
    bridge_.postActionResult(result.action, result.success, result.exitCode, result.message,
        result.deviceIp, result.data);
}

void BridgeActionReplies::sendSummary(const PostedBatchSummary& summary)
{
    bridge_.postBatchSummary(summary.action, summary.total, summary.succeeded, summary.failed);
}

} // namespace kovrkit
