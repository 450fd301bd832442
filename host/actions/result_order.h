#pragma once

#include "host/bridge/host_records.h"

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
    std::vector<PostedActionResult> complete(size_t index, PostedActionResult result);

    bool allReleased() const { return next_ == waiting_.size(); }

private:
    std::vector<std::optional<PostedActionResult>> waiting_;
    size_t next_ = 0;
};

} // namespace kovrkit
