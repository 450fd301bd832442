#include "cli/log/console_progress.h"

#include <string>

namespace kovru {
namespace {

constexpr int kBarCells = 40;

} // namespace

std::string console_bar(int percent)
{
    int filled = percent * kBarCells / 100;
    std::string bar = "[";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarCells - filled), '.');
    char figure[8];
    std::snprintf(figure, sizeof figure, "] %3d%%", percent);
    return bar + figure;
}

ConsoleProgress::ConsoleProgress(std::FILE* out, bool terminal)
    : out_(out)
    , terminal_(terminal)
{
}

ConsoleProgress::~ConsoleProgress()
{
    erase();
}

void ConsoleProgress::add_line(LogKind, const std::string&)
{
    if (percent_ >= 0)
        draw();
}

void ConsoleProgress::set_progress(int percent)
{
    percent_ = percent;
    draw();
}

void ConsoleProgress::before_console_line()
{
    erase();
}

void ConsoleProgress::draw()
{
    if (!terminal_)
        return;
    std::fprintf(out_, "\r%s", console_bar(percent_).c_str());
    std::fflush(out_);
    drawn_ = true;
}

void ConsoleProgress::erase()
{
    if (!drawn_)
        return;
    // Carriage return, then erase to the end of the line.
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    drawn_ = false;
}

} // namespace kovru
