#include "cli/controller/get_status.h"

#include "cli/controller/controller_client.h"

#include <cstdio>

namespace kovru {

int get_status(const std::optional<std::string>& address)
{
    if (!address || address->empty()) {
        std::printf("Missing arguments for action get_status.\n");
        return 2;
    }
    ControllerStatus status;
    if (fetch_status(base_url(*address), status) != 0)
        return 1;
    std::printf("model_name=%s\r\n", status.model_name()->c_str());
    std::fflush(stdout);
    return 0;
}

} // namespace kovru
