// One host per state folder. The first start holds a lock on a file in each of its state
// folders for as long as it runs (the system drops the lock of a process that dies) and listens
// on a local socket named in those files. A later start on any of the same folders finds the
// lock held and asks that host to bring its window to the front; when no answer comes, it
// refuses to start. Two hosts never run on one "settings.json" or one web view profile.
#pragma once

#include "common/posix/unique_fd.h"

#include <functional>
#include <string>
#include <vector>

namespace kovrkit {

// The file in each state folder that the running host holds locked.
inline constexpr const char* kHostLockName = ".kovrkit-host.lock";

class HostClaim {
public:
    enum class Outcome {
        claimed, // this start is the host of the folders
        presented, // another host holds them and brought its window to the front
        refused, // another host holds them and did not answer
    };

    // Claims every folder, or asks the host that holds one of them. A folder whose lock file
    // cannot be made is not guarded (the host then reports its failed saves as ever).
    static HostClaim claim(const std::vector<std::string>& folders);

    Outcome outcome() const { return outcome_; }
    // The folder another host holds (empty when claimed).
    const std::string& heldFolder() const { return heldFolder_; }

    // Readable when a later start asks for the window; -1 unless claimed.
    int askFd() const { return listener_.get(); }
    // Answers every start that asked so far: onAsk (which brings the window to the front)
    // once for each, then the answer that tells it so.
    void answerAsks(const std::function<void()>& onAsk) const;

private:
    Outcome outcome_ = Outcome::claimed;
    std::string heldFolder_;
    std::vector<kovru::UniqueFd> locks_;
    kovru::UniqueFd listener_;
};

// The lines a later start prints on standard error.
std::string presentedMessage(const std::string& folder);
std::string refusedMessage(const std::string& folder);

} // namespace kovrkit
