// A test seam: when KOVRU_TEST_STOP_AT names this point, the run says so on standard error and
// waits there until it is killed, so that a test can kill it at exactly that moment.
#pragma once

#include <string_view>

namespace kovru {

void stop_point(std::string_view point);

} // namespace kovru
