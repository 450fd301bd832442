// The push_d2fw action: hands a DALI device firmware file (".d2fw") to the controller, which
// the user then completes in the controller's own web interface.
#pragma once

#include "cli/firmware/push_request.h"

namespace kovru {

int push_d2fw(const FirmwarePushRequest& request);

} // namespace kovru
