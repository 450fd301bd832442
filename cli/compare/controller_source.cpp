#include "cli/compare/controller_source.h"

#include "cli/backup/fetch_item.h"

namespace kovru {

ItemRead ControllerSource::read(const ConfigItem& item)
{
    ItemRead read;
    FetchedItem fetched;
    const int result = fetch_item(base_url_, item.item_name, fetched);
    if (result == kFetchTransferFailed) {
        read.state = ItemRead::State::trouble;
        read.trouble = "the controller did not answer for " + item.item_name;
    } else if (result == 0) {
        read.state = ItemRead::State::present;
        read.image = std::move(fetched.image);
    }
    return read;
}

} // namespace kovru
