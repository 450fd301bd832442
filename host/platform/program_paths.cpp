#include "host/platform/program_paths.h"

#include <filesystem>
#include <system_error>

namespace kovrkit {

namespace fs = std::filesystem;

std::string directoryOf(const std::string& path)
{
    auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(0, cut);
}

std::string exeDirectory()
{
    std::error_code error;
    fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : directoryOf(program.string());
}

static bool pathExists(const std::string& path)
{
    std::error_code error;
    // A folder we cannot inspect counts as absent, so start-up goes on.
    return fs::exists(path, error) && !error;
}

std::string resolveUiFolder(const std::string& programDirectory)
{
    std::string beside = programDirectory + "/ui";
    if (pathExists(beside))
        return beside;
    std::string parent = programDirectory + "/../ui";
    if (pathExists(parent)) {
        std::error_code error;
        fs::path canonical = fs::canonical(parent, error);
        if (!error)
            return canonical.string();
    }
    return beside;
}

} // namespace kovrkit
