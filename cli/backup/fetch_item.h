// Fetches one configuration item from a controller and checks the image it answers with.
#pragma once

#include "cli/backup/fetched_item.h"

#include <string>

namespace kovru {

// 0 when the item arrived and passed check_item_image; otherwise the image is left empty
// and the result is the transfer's or the check's code.
int fetch_item(const std::string& base_url, const std::string& item_name, FetchedItem& item);

} // namespace kovru
