// Console mode's progress: a one-line bar on standard error when it is a terminal.
#pragma once

#include "cli/log/log.h"

#include <cstdio>

namespace kovru {

class ConsoleProgress : public LogSink {
public:
    // Draws only when terminal is true; out is where the bar goes.
    ConsoleProgress(std::FILE* out, bool terminal);
    ~ConsoleProgress() override;
    ConsoleProgress(const ConsoleProgress&) = delete;
    ConsoleProgress& operator=(const ConsoleProgress&) = delete;

    void add_line(LogKind kind, const std::string& stamped_line) override;
    void set_progress(int percent) override;
    void before_console_line() override;

private:
    void draw();
    void erase();

    std::FILE* out_;
    bool terminal_;
    int percent_ = -1; // -1 until the first progress arrives
    bool drawn_ = false;
};

// "[#####...............]  25%": 40 cells, the percentage right-aligned.
std::string console_bar(int percent);

} // namespace kovru
