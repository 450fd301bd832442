#include "host/actions/device_list.h"

#include "host/bridge/payload.h"

#include <algorithm>

namespace kovrkit {

std::vector<std::string> uniqueDeviceList(const std::vector<std::string>& addresses)
{
    std::vector<std::string> unique;
    for (const std::string& address : addresses) {
        std::string trimmed(trimWhiteSpace(address));
        if (!trimmed.empty() && std::find(unique.begin(), unique.end(), trimmed) == unique.end())
            unique.push_back(std::move(trimmed));
    }
    return unique;
}

} // namespace kovrkit
