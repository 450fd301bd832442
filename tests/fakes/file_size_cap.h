// Caps the size of files this process may write, as a full disk would: a write beyond the cap
// fails with EFBIG instead of raising SIGXFSZ.
#pragma once

#include <csignal>
#include <sys/resource.h>

namespace kovrkit::testing {

class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes)
    {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit capped = previous_;
        capped.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

private:
    rlimit previous_ {};
    void (*previousHandler_)(int);
};

} // namespace kovrkit::testing
