#include "host/app/host_claim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

namespace kovrkit {

namespace {

using kovru::UniqueFd;
using Clock = std::chrono::steady_clock;

// A later start waits this long for the running host to name its socket (it may be starting
// itself) and then for its answer (it answers from its main loop).
constexpr std::chrono::milliseconds kNameWait { 2000 };
constexpr int kAnswerWaitMs = 5000;
constexpr std::size_t kMaxNameBytes = 100;
constexpr char kAnswer[] = "presented\n";

// A socket in the abstract namespace: nothing in the folder to clean up after a crash.
sockaddr_un socketAddress(const std::string& name, socklen_t& length)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::size_t bytes = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), bytes);
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + bytes);
    return address;
}

std::string uniqueSocketName()
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return "kovrkit-host-" + std::to_string(::getpid()) + "-" + std::to_string(now.tv_sec) + "."
        + std::to_string(now.tv_nsec);
}

UniqueFd listenOn(const std::string& name)
{
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    socklen_t length = 0;
    const sockaddr_un address = socketAddress(name, length);
    if (!socket.valid()
        || ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0
        || ::listen(socket.get(), 8) != 0)
        return {};
    return socket;
}

// The socket name the holder wrote into its lock file; empty while it has written none.
std::string nameIn(const std::string& lockPath)
{
    UniqueFd file(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (!file.valid())
        return {};
    char buffer[kMaxNameBytes + 1];
    const ssize_t got = ::read(file.get(), buffer, kMaxNameBytes);
    if (got <= 0)
        return {};
    std::string name(buffer, static_cast<std::size_t>(got));
    const auto end = name.find('\n');
    return end == std::string::npos ? std::string() : name.substr(0, end);
}

// Asks the host listening on name to bring its window to the front; true once it says so.
bool askToPresent(const std::string& name)
{
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    socklen_t length = 0;
    const sockaddr_un address = socketAddress(name, length);
    if (!socket.valid()
        || ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0)
        return false;
    std::string answer;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    while (answer.size() < sizeof(kAnswer) - 1) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd wait { socket.get(), POLLIN, 0 };
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char buffer[sizeof(kAnswer)];
        const ssize_t got = ::read(socket.get(), buffer, sizeof(buffer));
        if (got <= 0)
            return false;
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    return answer == kAnswer;
}

// The lock on the folder's lock file; nullopt when another process holds it, an invalid
// descriptor when the file cannot be made.
std::optional<UniqueFd> lockFolder(const std::string& lockPath)
{
    UniqueFd file(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file.valid())
        return UniqueFd();
    while (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return std::nullopt;
        if (errno != EINTR)
            return UniqueFd();
    }
    return file;
}

void writeName(int lockFd, const std::string& name)
{
    const std::string line = name + "\n";
    if (::ftruncate(lockFd, 0) != 0)
        return;
    [[maybe_unused]] const ssize_t written = ::pwrite(lockFd, line.data(), line.size(), 0);
}

} // namespace

HostClaim HostClaim::claim(const std::vector<std::string>& folders)
{
    HostClaim claim;
    std::vector<std::string> distinct;
    for (const std::string& folder : folders)
        if (std::find(distinct.begin(), distinct.end(), folder) == distinct.end())
            distinct.push_back(folder);
    for (const std::string& folder : distinct) {
        const std::string lockPath = folder + "/" + kHostLockName;
        auto lock = lockFolder(lockPath);
        if (lock) {
            if (lock->valid())
                claim.locks_.push_back(std::move(*lock));
            continue;
        }
        claim.locks_.clear();
        claim.heldFolder_ = folder;
        const auto deadline = Clock::now() + kNameWait;
        std::string name = nameIn(lockPath);
        while (name.empty() && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            name = nameIn(lockPath);
        }
        claim.outcome_
            = !name.empty() && askToPresent(name) ? Outcome::presented : Outcome::refused;
        return claim;
    }
    const std::string name = uniqueSocketName();
    claim.listener_ = listenOn(name);
    if (claim.listener_.valid())
        for (const UniqueFd& lock : claim.locks_)
            writeName(lock.get(), name);
    return claim;
}

void HostClaim::answerAsks(const std::function<void()>& onAsk) const
{
    if (!listener_.valid())
        return;
    for (;;) {
        UniqueFd asker(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!asker.valid()) {
            if (errno == EINTR)
                continue;
            return;
        }
        onAsk();
        [[maybe_unused]] auto sent
            = ::send(asker.get(), kAnswer, sizeof(kAnswer) - 1, MSG_NOSIGNAL);
    }
}

std::string presentedMessage(const std::string& folder)
{
    return "kovrkit: another kovrkit is already running on the state folder " + folder
        + "; its window was brought to the front";
}

std::string refusedMessage(const std::string& folder)
{
    return "kovrkit: another kovrkit is already running on the state folder " + folder
        + " and did not answer; close it before starting kovrkit again";
}

} // namespace kovrkit
