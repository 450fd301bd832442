#include "cli/controller/get_status.h"

#include "cli/log/log.h"

#include "cli/controller/controller_client.h"

#include <cstdio>

namespace kovru {

int get_status(const std::optional<std::string>& address)
{
    if (!address || address->empty()) {
        report_missing_arguments("get_status");
        return 2;
    }
    ControllerStatus status;
    if (fetch_status(base_url(*address), status) != 0)
        return 1;
    print_out("model_name=%s\r\n", status.model_name()->c_str());
    return 0;
}

} // namespace kovru
