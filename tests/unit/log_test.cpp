#include "cli/log/console_progress.h"
#include "cli/log/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace kovru {
namespace {

class RecordingSink : public LogSink {
public:
    void add_line(LogKind kind, const std::string& line) override
    {
        kinds.push_back(kind);
        lines.push_back(line);
    }
    void set_progress(int percent) override { progress.push_back(percent); }

    std::vector<LogKind> kinds;
    std::vector<std::string> lines;
    std::vector<int> progress;
};

class Log : public ::testing::Test {
protected:
    void SetUp() override { set_log_sink(&sink_); }
    void TearDown() override
    {
        set_log_sink(nullptr);
        capture_off();
    }
    RecordingSink sink_;
};

// The part of a window line after its "YYYY-MM-DD hh:mm:ss.mmm " stamp.
std::string body(const std::string& line)
{
    return line.substr(24);
}

TEST_F(Log, LinesReachTheSinkInOrderWithTheirKinds)
{
    log_plain("A %d", 1);
    log_success("B %s", "two");
    log_warning("C");
    log_error("D");
    log_line(LogKind::success, "E");
    ASSERT_EQ(sink_.lines.size(), 5u);
    EXPECT_EQ(sink_.kinds,
        (std::vector<LogKind> { LogKind::plain, LogKind::success, LogKind::warning, LogKind::error,
            LogKind::success }));
    EXPECT_EQ(body(sink_.lines[0]), "A 1\r\n");
    EXPECT_EQ(body(sink_.lines[1]), "B two\r\n");
    EXPECT_EQ(body(sink_.lines[4]), "E\r\n");
}

TEST_F(Log, StandardOutputGetsEachMessageWithCarriageReturnLineFeed)
{
    ::testing::internal::CaptureStdout();
    log_plain("first");
    log_error("second\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "first\r\nsecond\n\r\n");
    EXPECT_EQ(body(sink_.lines[1]), "second\n");
}

TEST_F(Log, CaptureCollectsMessagesOnlyWhileOn)
{
    log_plain("not collected");
    capture_on();
    log_plain("one");
    log_warning("two %d", 2);
    EXPECT_EQ(capture_text(), "one\ntwo 2\n");
    capture_on();
    EXPECT_EQ(capture_text(), "");
    log_error("three");
    capture_off();
    log_plain("after");
    EXPECT_EQ(capture_text(), "");
    capture_on();
    EXPECT_EQ(capture_text(), "");
}

TEST_F(Log, ProgressIsClamped)
{
    set_progress(-5);
    set_progress(0);
    set_progress(42);
    set_progress(100);
    set_progress(150);
    EXPECT_EQ(sink_.progress, (std::vector<int> { 0, 0, 42, 100, 100 }));
    set_log_sink(nullptr);
    set_progress(10);
    EXPECT_EQ(sink_.progress.size(), 5u);
}

TEST_F(Log, LongMessagesAreCutWithoutSplittingCharacters)
{
    capture_on();
    std::string long_text(1022, 'x');
    log_plain("%s\xC3\xA9tail", long_text.c_str());
    // 1023 bytes would end inside the two-byte character, so it goes as a whole.
    EXPECT_EQ(capture_text(), long_text + "\n");

    std::string window_text = body(sink_.lines[0]);
    EXPECT_EQ(window_text, std::string(511, 'x'));

    log_plain("%s", std::string(5000, 'y').c_str());
    EXPECT_EQ(capture_text().size(), long_text.size() + 1 + 1023 + 1);
}

TEST(WindowLine, StampsWithLocalTimeAndMilliseconds)
{
    setenv("TZ", "UTC", 1);
    tzset();
    // 2024-02-29 13:04:05.007 UTC
    EXPECT_EQ(window_line("hello", 1709211845007LL), "2024-02-29 13:04:05.007 hello\r\n");
    EXPECT_EQ(window_line("", 1709211845000LL), "2024-02-29 13:04:05.000 \r\n");
    EXPECT_EQ(window_line("ends\r", 0), "1970-01-01 00:00:00.000 ends\r");
    EXPECT_EQ(window_line("ends\n", 0), "1970-01-01 00:00:00.000 ends\n");
}

TEST(WindowLine, LongMessagesGetNoLineBreak)
{
    std::string line_509 = window_line(std::string(509, 'a'), 0);
    EXPECT_EQ(line_509.substr(line_509.size() - 3), "a\r\n");
    std::string line_510 = window_line(std::string(510, 'a'), 0);
    EXPECT_EQ(line_510.size(), 24u + 510u);
    EXPECT_EQ(window_line(std::string(900, 'a'), 0).size(), 24u + 511u);
}

TEST(CutUtf8, NeverSplitsASequence)
{
    EXPECT_EQ(cut_utf8("abc", 5), "abc");
    EXPECT_EQ(cut_utf8("abc", 2), "ab");
    EXPECT_EQ(cut_utf8("a\xE2\x82\xAC", 3), "a");
    EXPECT_EQ(cut_utf8("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
    EXPECT_EQ(cut_utf8("\xF0\x9F\x98\x80z", 2), "");
    EXPECT_EQ(cut_utf8("\x80\x80\x80", 2), "");
    EXPECT_EQ(cut_utf8("", 0), "");
}

TEST(ConsoleProgress, DrawsABarOnlyOnATerminal)
{
    EXPECT_EQ(console_bar(0), "[........................................]   0%");
    EXPECT_EQ(console_bar(50), "[####################....................]  50%");
    EXPECT_EQ(console_bar(100), "[########################################] 100%");

    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    {
        ConsoleProgress terminal(out, true);
        terminal.set_progress(50);
        terminal.before_console_line();
        terminal.add_line(LogKind::plain, "line");
    }
    {
        ConsoleProgress redirected(out, false);
        redirected.set_progress(10);
        redirected.add_line(LogKind::plain, "line");
    }
    std::fclose(out);
    std::string bar = console_bar(50);
    EXPECT_EQ(std::string(data, size), "\r" + bar + "\r\033[K\r" + bar + "\r\033[K");
    std::free(data);
}

} // namespace
} // namespace kovru
