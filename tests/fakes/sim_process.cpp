#include "fakes/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace kovru::testing {
namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~Pipe()
    {
        close_read();
        close_write();
    }
    void close_read()
    {
        if (read >= 0)
            ::close(read);
        read = -1;
    }
    void close_write()
    {
        if (write >= 0)
            ::close(write);
        write = -1;
    }
};

// The environment is built before the fork: the child only execs.
std::vector<std::string> environment_with(const ChildSettings& settings)
{
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string key = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& [name, value] : settings.environment)
            replaced = replaced || name == key;
        if (!replaced)
            entries.push_back(text);
    }
    for (const auto& [name, value] : settings.environment)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char*> pointers_to(std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments, int out_fd,
    int err_fd, const ChildSettings& settings = {})
{
    std::vector<std::string> words { program };
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = pointers_to(words);
    std::vector<std::string> environment = environment_with(settings);
    std::vector<char*> envp = pointers_to(environment);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_fd, STDOUT_FILENO);
        ::dup2(err_fd, STDERR_FILENO);
        if (settings.descriptor_3 == 3)
            ::fcntl(3, F_SETFD, 0);
        else if (settings.descriptor_3 >= 0)
            ::dup2(settings.descriptor_3, 3);
        if (settings.file_size_limit >= 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { static_cast<rlim_t>(settings.file_size_limit),
                static_cast<rlim_t>(settings.file_size_limit) };
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(126);
        }
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

int wait_exit(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

std::string built_program(const std::string& relative_path)
{
    const char* binary_dir = std::getenv("KOVRU_BINARY_DIR");
    return std::string(binary_dir ? binary_dir : ".") + "/" + relative_path;
}

ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments)
{
    return run_program(program, arguments, ChildSettings {});
}

ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
    const ChildSettings& settings)
{
    ProgramRun run;
    Pipe out;
    Pipe err;
    pid_t pid = spawn(program, arguments, out.write, err.write, settings);
    out.close_write();
    err.close_write();
    if (pid < 0)
        return run;
    pollfd fds[2] = { { out.read, POLLIN, 0 }, { err.read, POLLIN, 0 } };
    std::string* targets[2] = { &run.out, &run.err };
    int open_streams = 2;
    while (open_streams > 0 && ::poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char chunk[4096];
            ssize_t received = ::read(fds[i].fd, chunk, sizeof chunk);
            if (received > 0) {
                targets[i]->append(chunk, static_cast<std::size_t>(received));
            } else {
                fds[i].fd = -1;
                --open_streams;
            }
        }
    }
    run.exit_status = wait_exit(pid);
    return run;
}

ProgramRun run_cli(const std::vector<std::string>& arguments)
{
    return run_cli(arguments, ChildSettings {});
}

ProgramRun run_cli(const std::vector<std::string>& arguments, const ChildSettings& settings)
{
    std::vector<std::string> all { "--nowindow" };
    all.insert(all.end(), arguments.begin(), arguments.end());
    return run_program(built_program("cli/main/kovru-cli"), all, settings);
}

CliProcess::CliProcess(const std::vector<std::string>& arguments, const ChildSettings& settings)
{
    std::vector<std::string> all { "--nowindow" };
    all.insert(all.end(), arguments.begin(), arguments.end());
    Pipe out;
    pid_ = spawn(built_program("cli/main/kovru-cli"), all, out.write, out.write, settings);
    out.close_write();
    out_ = std::exchange(out.read, -1);
}

CliProcess::~CliProcess()
{
    if (pid_ > 0)
        kill_now();
    if (out_ >= 0)
        ::close(out_);
}

bool CliProcess::read_some(int timeout_ms)
{
    pollfd ready { out_, POLLIN, 0 };
    if (out_ < 0 || ::poll(&ready, 1, timeout_ms) <= 0)
        return false;
    char chunk[4096];
    const ssize_t received = ::read(out_, chunk, sizeof chunk);
    if (received <= 0) {
        ::close(out_);
        out_ = -1;
        return false;
    }
    run_.out.append(chunk, static_cast<std::size_t>(received));
    return true;
}

bool CliProcess::wait_for(const std::string& needle, int times, int timeout_ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (count_lines_with(run_.out, needle) < times) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !read_some(static_cast<int>(left.count())))
            return false;
    }
    return true;
}

void CliProcess::kill_now()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    wait_exit(pid_);
    pid_ = -1;
}

void CliProcess::send_signal(int signal)
{
    if (pid_ > 0)
        ::kill(pid_, signal);
}

ProgramRun CliProcess::finish()
{
    while (out_ >= 0)
        read_some(-1);
    if (pid_ > 0)
        run_.exit_status = wait_exit(std::exchange(pid_, -1));
    return run_;
}

SimProcess::SimProcess(
    const std::vector<std::string>& controllers, const std::vector<std::string>& extra_arguments)
{
    std::vector<std::string> arguments;
    for (const std::string& controller : controllers) {
        arguments.push_back("--controller");
        arguments.push_back(controller);
    }
    arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
    Pipe out;
    pid_ = spawn(built_program("sim/kovru-sim"), arguments, out.write, STDERR_FILENO);
    out.close_write();
    if (pid_ < 0)
        return;
    std::string text;
    char chunk[1024];
    while (text.find("ready\n") == std::string::npos) {
        ssize_t received = ::read(out.read, chunk, sizeof chunk);
        if (received <= 0)
            return;
        text.append(chunk, static_cast<std::size_t>(received));
    }
    // Kept open for what the simulator prints at its end; nothing comes before that.
    out_ = out.read;
    out.read = -1;
    after_ready_ = text.substr(text.find("ready\n") + 6);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::size_t port_at = line.find(" port=");
        if (line.rfind("listening ", 0) != 0 || port_at == std::string::npos)
            continue;
        lines_.push_back(line);
        ports_.push_back(std::atoi(line.c_str() + port_at + 6));
    }
    ready_ = !ports_.empty();
}

SimProcess::~SimProcess()
{
    stop();
}

int SimProcess::stop()
{
    int status = -1;
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        status = wait_exit(pid_);
        pid_ = -1;
    }
    if (out_ >= 0)
        ::close(out_);
    out_ = -1;
    return status;
}

std::string SimProcess::stop_with_output()
{
    if (pid_ > 0)
        ::kill(pid_, SIGTERM);
    char chunk[4096];
    while (out_ >= 0) {
        ssize_t received = ::read(out_, chunk, sizeof chunk);
        if (received <= 0)
            break;
        after_ready_.append(chunk, static_cast<std::size_t>(received));
    }
    stop();
    return after_ready_;
}

std::string SimProcess::address(std::size_t controller) const
{
    return "127.0.0.1:" + std::to_string(port(controller));
}

int count_lines_with(const std::string& text, const std::string& needle)
{
    int count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.find(needle) != std::string::npos)
            ++count;
    return count;
}

} // namespace kovru::testing
