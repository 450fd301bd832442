// The programs report on standard output and standard error as they parse; under the fuzzer
// those lines would only fill the run's log, so the CLI targets send them to /dev/null.
// libFuzzer keeps its own copy of the error stream and the sanitizers write their reports to
// file descriptor 2, so neither loses anything.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace kovru::fuzz {

inline void discard_program_output()
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    if (std::FILE* null = std::fopen("/dev/null", "w"))
        stderr = null;
}

} // namespace kovru::fuzz
