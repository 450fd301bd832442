// Fetches one configuration item from a controller and checks the image it answers with.
#pragma once

#include "cli/backup/fetched_item.h"
#include "cli/controller/controller_client.h"

#include <string>

namespace kovru {

// The transfer failed on every attempt.
inline constexpr int kFetchTransferFailed = kItemTransferFailed;
// The image passed its check but does not hold the asked item's configuration file.
inline constexpr int kFetchWrongItem = 4;

// 0 when the item arrived, passed check_item_image and holds the item's own configuration
// file (for a name the item table knows); otherwise the image is left empty and the result
// is kFetchTransferFailed, kItemRefused, the check's code or kFetchWrongItem.
// With recorded, the fetch was made ahead (ItemPrefetch) and is reported as if made now.
int fetch_item(const std::string& base_url, const std::string& item_name, FetchedItem& item,
    RecordedFetch* recorded = nullptr);

} // namespace kovru
