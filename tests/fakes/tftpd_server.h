// tftpd-hpa serving a temporary folder on a free loopback port, for interop tests.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kovru::testing {

inline constexpr const char* kTftpdProgram = "/usr/sbin/in.tftpd";

class TftpdServer {
public:
    // extra_arguments go to in.tftpd as given (for example "-B", "1024").
    explicit TftpdServer(const std::vector<std::string>& extra_arguments = {});
    ~TftpdServer();
    TftpdServer(const TftpdServer&) = delete;
    TftpdServer& operator=(const TftpdServer&) = delete;

    static bool installed();
    bool running() const { return pid_ > 0; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::filesystem::path& folder() const { return folder_; }

private:
    void start(const std::vector<std::string>& extra_arguments);

    std::filesystem::path folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace kovru::testing
