#include "fakes/fake_host_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace kovrkit::testing {

std::string HostProcess::builtProgram()
{
    const char* binary = std::getenv("KOVRU_BINARY_DIR");
    return std::string(binary ? binary : ".") + "/host/app/kovrkit";
}

HostProcess::HostProcess(const std::string& folder, std::vector<std::string> arguments,
    std::vector<std::string> environment)
{
    std::string program = folder + "/kovrkit";
    std::filesystem::copy_file(
        builtProgram(), program, std::filesystem::copy_options::overwrite_existing);

    // A variable given here replaces the inherited one of the same name.
    auto givenHere = [&environment](const std::string& variable) {
        std::string name = variable.substr(0, variable.find('=') + 1);
        for (const std::string& given : environment) {
            if (given.starts_with(name))
                return true;
        }
        return false;
    };
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        if (!givenHere(*entry))
            variables.emplace_back(*entry);
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    arguments.insert(arguments.begin(), program);

    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
        pid_ = -1;
}

HostProcess::~HostProcess()
{
    if (pid_ > 0)
        stop();
}

int HostProcess::stop()
{
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, SIGTERM);
    for (int wait = 0; wait < 300; ++wait) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

} // namespace kovrkit::testing
