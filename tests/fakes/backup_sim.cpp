#include "fakes/backup_sim.h"

#include "fakes/backup_test_support.h"

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace kovru::testing {
namespace {

std::string shell_quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

std::string built_program(const std::string& relative_path)
{
    const char* binary_dir = std::getenv("KOVRU_BINARY_DIR");
    return std::string(binary_dir ? binary_dir : ".") + "/" + relative_path;
}

BackupSim::BackupSim(const std::vector<std::string>& controllers)
{
    // The simulator writes into a file, so it never blocks on a pipe nobody reads.
    char log_path[] = "/tmp/kovru-backup-sim-XXXXXX";
    int log = ::mkstemp(log_path);
    if (log < 0)
        return;
    log_path_ = log_path;
    std::vector<std::string> arguments { built_program("sim/kovru-sim") };
    for (const std::string& settings : controllers) {
        arguments.push_back("--controller");
        arguments.push_back(settings);
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(log, STDOUT_FILENO);
        ::close(log);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(log);
    for (int wait = 0; wait < 200 && addresses_.empty(); ++wait) {
        ::usleep(50000);
        std::string text;
        for (std::uint8_t byte : read_bytes(log_path_))
            text += static_cast<char>(byte);
        if (text.find("\nready") == std::string::npos && !text.starts_with("ready"))
            continue;
        std::vector<std::string> found;
        for (std::size_t at = text.find("listening"); at != std::string::npos;
             at = text.find("listening", at + 1)) {
            const std::size_t ip = text.find(" ip=", at);
            const std::size_t port = text.find(" port=", at);
            found.push_back(text.substr(ip + 4, text.find(' ', ip + 4) - ip - 4) + ":"
                + std::to_string(std::atoi(text.c_str() + port + 6)));
        }
        addresses_ = found;
    }
}

BackupSim::~BackupSim()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!log_path_.empty())
        ::unlink(log_path_.c_str());
}

CliRun run_kovru_cli(const std::vector<std::string>& arguments)
{
    std::string command = shell_quoted(built_program("cli/main/kovru-cli")) + " --nowindow";
    for (const std::string& argument : arguments)
        command += " " + shell_quoted(argument);
    CommandResult result = run_command(command);
    return { result.exit_status, result.output };
}

} // namespace kovru::testing
