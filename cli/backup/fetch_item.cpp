#include "cli/backup/fetch_item.h"

#include "cli/backup/item_check.h"
#include "cli/controller/controller_client.h"

namespace kovru {

int fetch_item(const std::string& base_url, const std::string& item_name, FetchedItem& item)
{
    item = FetchedItem {};
    int result = fetch_item_bytes(base_url, item_name, item.image);
    if (result == 0)
        result = check_item_image(item);
    if (result != 0)
        item.image = MemoryBuffer {};
    return result;
}

} // namespace kovru
