// What the controllers did, one line each, for tests and demos that need to know which
// controller received what (kovru-sim --log FILE).
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace kovru::sim {

class EventLog {
public:
    // Appends to the file; false when it cannot be opened.
    bool open(const std::string& path);
    ~EventLog();

    // One line, written and flushed at once; nothing when no file is open.
    void write(const std::string& line);

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

} // namespace kovru::sim
