#pragma once

#include "host/actions/action_result.h"

#include <optional>
#include <vector>

namespace kovrkit {

// Results of a batch come back in any order; each goes out as soon as it and every result
// before it in the device list are known.
class ResultOrder {
public:
    explicit ResultOrder(size_t count);

    // Keeps the result of device `index` and returns the results that may now go out, in
    // list order (possibly none).
    std::vector<ActionResult> complete(size_t index, ActionResult result);

    bool allReleased() const { return next_ == waiting_.size(); }

private:
    std::vector<std::optional<ActionResult>> waiting_;
    size_t next_ = 0;
};

} // namespace kovrkit
