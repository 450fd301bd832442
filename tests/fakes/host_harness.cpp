#include "fakes/host_harness.h"

#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace kovrkit::testing {

HostFolder::HostFolder(std::initializer_list<const char*> folders, bool withTool)
{
    fs::create_directories(folder.path() / "home");
    fs::create_directories(folder.path() / "tmp");
    for (const char* name : folders)
        fs::create_directories(folder.path() / name);
    if (withTool) {
        fs::create_directories(folder.path() / "cli");
        fs::copy_file(kovru::testing::built_program("host/app/cli/kovru-cli"),
            folder.path() / "cli/kovru-cli");
    }
    folder.write("answers.json", "[]");
}

std::vector<std::string> HostFolder::environment(int devPort) const
{
    std::vector<std::string> variables { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json"),
        "HOME=" + folder.file("home"), "XDG_CONFIG_HOME=" + folder.file("home/.config"),
        "TMPDIR=" + folder.file("tmp") };
    if (devPort > 0)
        variables.push_back(devPortVariable(devPort));
    return variables;
}

std::vector<fs::path> HostFolder::filesUnder(const std::string& name) const
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path() / name))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

namespace {

std::vector<std::string> joined(
    std::vector<std::string> first, const std::vector<std::string>& more)
{
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

} // namespace

HostWithPage::HostWithPage(
    const HostFolder& host, const std::string& page, const std::vector<std::string>& environment)
    : server_("127.0.0.1", 0, { { "/", page } })
    , process_(host.folder.path().string(), { "--dev" },
          joined(host.environment(server_.port()), environment))
{
}

nlohmann::json runPage(const HostFolder& host, const std::string& page)
{
    HostWithPage running(host, page);
    EXPECT_TRUE(running.started());
    std::vector<std::string> reports = running.waitForReports();
    EXPECT_EQ(running.stop(), 0);
    return reports.empty() ? nlohmann::json::array() : nlohmann::json::parse(reports[0]);
}

std::string filledIn(std::string text, const std::string& placeholder, const std::string& value)
{
    text.replace(text.find(placeholder), placeholder.size(), value);
    return text;
}

std::vector<pid_t> childrenNamed(pid_t parent, const std::string& name)
{
    const std::string comm = " (" + name + ") ";
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.find(comm) == std::string::npos)
            continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != "Z")
            found.push_back(std::atoi(entry.path().filename().c_str()));
    }
    return found;
}

} // namespace kovrkit::testing
