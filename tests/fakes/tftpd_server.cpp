#include "fakes/tftpd_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace kovru::testing {
namespace {

int free_udp_port()
{
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// True once the server answers a read request for `name` on the port; the transfer is then
// ended with an error packet so the server does not keep retransmitting.
bool answers(int port, const std::string& name)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string request = std::string("\0\1", 2) + name + '\0' + "octet" + '\0';
    ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&address),
        sizeof address);
    pollfd entry { fd, POLLIN, 0 };
    bool answered = ::poll(&entry, 1, 200) > 0;
    if (answered) {
        char packet[600];
        sockaddr_in from {};
        socklen_t from_length = sizeof from;
        ::recvfrom(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &from_length);
        std::string error = std::string("\0\5\0\0done", 8) + '\0';
        ::sendto(
            fd, error.data(), error.size(), 0, reinterpret_cast<sockaddr*>(&from), from_length);
    }
    ::close(fd);
    return answered;
}

} // namespace

TftpdServer::TftpdServer(const std::vector<std::string>& extra_arguments)
{
    if (!installed())
        return;
    folder_ = std::filesystem::temp_directory_path()
        / ("kovru-tftpd-" + std::to_string(::getpid()) + "-" + std::to_string(free_udp_port()));
    std::filesystem::create_directories(folder_);
    std::filesystem::permissions(folder_, std::filesystem::perms::all);
    std::ofstream(folder_ / "probe.bin") << 'p';
    for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt)
        start(extra_arguments);
}

TftpdServer::~TftpdServer()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

bool TftpdServer::installed()
{
    return ::access(kTftpdProgram, X_OK) == 0;
}

void TftpdServer::start(const std::vector<std::string>& extra_arguments)
{
    port_ = free_udp_port();
    std::vector<std::string> arguments { kTftpdProgram, "-L", "-c", "-p", "-u",
        ::getuid() == 0 ? "root" : "nobody", "-a", "127.0.0.1:" + std::to_string(port_) };
    arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
    arguments.insert(arguments.end(), { "-s", folder_.string() });
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(kTftpdProgram, argv.data());
        ::_exit(127);
    }
    for (int wait = 0; wait < 25; ++wait) {
        if (answers(port_, "probe.bin")) {
            pid_ = pid;
            return;
        }
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

} // namespace kovru::testing
