// Replacing a file so that a crash at any moment leaves either the old or the new content:
// the new content goes into a temporary file in the same folder, is flushed to disk and
// renamed over the target. The temporary file doubles as the writers' lock.
#pragma once

#include "common/posix/unique_fd.h"

#include <filesystem>
#include <memory>
#include <string_view>

namespace kovru {

class AtomicReplacement {
public:
    // Opens (or reuses) the temporary file and waits for the writers' lock on it.
    // Nothing is open when the result is null.
    static std::unique_ptr<AtomicReplacement> begin(
        const std::filesystem::path& target, const std::filesystem::path& temporary);
    ~AtomicReplacement();
    AtomicReplacement(const AtomicReplacement&) = delete;
    AtomicReplacement& operator=(const AtomicReplacement&) = delete;

    // Writes the whole content and renames it over the target; at most once. On failure the
    // target is left as it was.
    bool commit(std::string_view content);

private:
    AtomicReplacement(std::filesystem::path target, std::filesystem::path temporary, UniqueFd fd);

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    UniqueFd fd_;
    bool renamed_ = false;
};

} // namespace kovru
