#include "host/app/start_options.h"

#include <string_view>

namespace kovrkit {

bool hasDevSwitch(int argc, const char* const* argv)
{
    for (int index = 1; index < argc; ++index) {
        if (argv[index] && std::string_view(argv[index]).find("--dev") != std::string_view::npos)
            return true;
    }
    return false;
}

} // namespace kovrkit
