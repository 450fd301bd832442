#include "bench/child_process.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace kovru::bench {

pid_t spawn(const std::vector<std::string>& arguments, const std::string& output_path)
{
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    int output = ::open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (output >= 0) {
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

std::string read_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string start_sim(const std::string& sim, const std::string& controller_settings,
    const std::string& log, pid_t& pid)
{
    pid = spawn({ sim, "--controller", controller_settings }, log);
    for (int wait = 0; wait < 200; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string text = read_text(log);
        const std::size_t port = text.find(" port=");
        if (text.find("ready") != std::string::npos && port != std::string::npos)
            return "127.0.0.1:" + std::to_string(std::atoi(text.c_str() + port + 6));
    }
    return {};
}

} // namespace kovru::bench
