// The check every fetched item image must pass before it is stored or used: it lists the
// image, requires a "status.txt" beside the configuration file and keeps its texts.
#pragma once

#include "cli/backup/fetched_item.h"

#include <string_view>

namespace kovru {

// 0 when the image passed; a negative tar code when its walk failed, 2 when "status.txt" is
// missing, empty or unreadable, 3 when the image holds fewer than two files.
int check_item_image(FetchedItem& item);

// Fills the four texts from a "status.txt" document (a flat JSON object of strings).
void read_item_status(std::string_view document, FetchedItem& item);

} // namespace kovru
