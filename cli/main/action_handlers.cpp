// The action handlers of this build. Each body hands the options to the module that does
// the work; an action whose module is not part of this build says so and fails.
#include "cli/log/log.h"
#include "cli/main/actions.h"

namespace kovru {
namespace {

int not_available(const char* action)
{
    log_error("Action %s is not available in this build.", action);
    return exit_failed;
}

} // namespace

int run_put_backup(const CliOptions&)
{
    return not_available("put_backup");
}

int run_get_backup(const CliOptions&)
{
    return not_available("get_backup");
}

int run_push_firmware(const CliOptions&)
{
    return not_available("push_firmware");
}

int run_push_d2fw(const CliOptions&)
{
    return not_available("push_d2fw");
}

int run_setup_channel(const CliOptions&)
{
    return not_available("setup_channel");
}

int run_get_status(const CliOptions&)
{
    return not_available("get_status");
}

int run_read_file_flashraw(const CliOptions&)
{
    return not_available("read_file_flashraw");
}

int run_read_file_flashfs(const CliOptions&)
{
    return not_available("read_file_flashfs");
}

int run_safety_backup(const std::string&, const std::string&)
{
    return not_available("get_backup");
}

} // namespace kovru
