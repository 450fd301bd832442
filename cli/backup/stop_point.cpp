#include "cli/backup/stop_point.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace kovru {

void stop_point(std::string_view point)
{
    const char* wanted = std::getenv("KOVRU_TEST_STOP_AT");
    if (!wanted || point != wanted)
        return;
    std::fprintf(stderr, "stopped at %s\n", wanted);
    std::fflush(stderr);
    for (;;)
        ::pause();
}

} // namespace kovru
