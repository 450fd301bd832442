#include "sim/event_log.h"

namespace kovru::sim {

bool EventLog::open(const std::string& path)
{
    std::lock_guard lock(mutex_);
    if (file_)
        std::fclose(file_);
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

EventLog::~EventLog()
{
    if (file_)
        std::fclose(file_);
}

void EventLog::write(const std::string& line)
{
    std::lock_guard lock(mutex_);
    if (!file_)
        return;
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

} // namespace kovru::sim
