#include "cli/backup/fetch_item.h"

#include "cli/backup/config_items.h"
#include "cli/backup/item_check.h"
#include "cli/backup/tar_image.h"
#include "cli/controller/controller_client.h"
#include "cli/log/log.h"

namespace kovru {
namespace {

// An answer for another item would be stored, and later restored, under this item's name.
int check_item_identity(const std::string& item_name, const FetchedItem& item)
{
    const ConfigItem* known = find_config_item(item_name);
    if (!known)
        return 0;
    TarImageReader reader(item.image);
    if (reader.find(known->device_path) == tar_success)
        return 0;
    print_out("%s\terror %s not in the answer.\r\n", "backup", known->device_path.c_str());
    log_error("Error, the answer for %s does not hold %s.", item_name.c_str(),
        known->device_path.c_str());
    return kFetchWrongItem;
}

} // namespace

int fetch_item(const std::string& base_url, const std::string& item_name, FetchedItem& item,
    RecordedFetch* recorded)
{
    item = FetchedItem {};
    int result = recorded ? report_recorded_fetch(base_url, item_name, *recorded, item.image)
                          : fetch_item_bytes(base_url, item_name, item.image);
    if (result == 0)
        result = check_item_image(item);
    if (result == 0)
        result = check_item_identity(item_name, item);
    if (result != 0)
        item.image = MemoryBuffer {};
    return result;
}

} // namespace kovru
