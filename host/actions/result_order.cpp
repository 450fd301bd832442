#include "host/actions/result_order.h"

namespace kovrkit {

ResultOrder::ResultOrder(size_t count)
    : waiting_(count)
{
}

std::vector<ActionResult> ResultOrder::complete(size_t index, ActionResult result)
{
    std::vector<ActionResult> released;
    if (index < next_ || index >= waiting_.size() || waiting_[index])
        return released;
    waiting_[index] = std::move(result);
    while (next_ < waiting_.size() && waiting_[next_]) {
        released.push_back(std::move(*waiting_[next_]));
        waiting_[next_].reset();
        ++next_;
    }
    return released;
}

} // namespace kovrkit
