// kovru-cli --eventsfd against the simulator: the event lines beside an unchanged standard
// output, the cause of each kind of failure named where it happened, and a reader that stalls
// or goes away, which must never stop or hang the action.
#include "fakes/backup_test_support.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

namespace kovru {
namespace {

using namespace kovru::testing;
using nlohmann::json;

struct EventRun {
    ProgramRun run;
    std::vector<json> events;
    std::string raw;
};

// Runs kovru-cli with --eventsfd=3, descriptor 3 a file the events are read back from.
EventRun run_with_events(std::vector<std::string> arguments, ChildSettings settings = {})
{
    EventRun result;
    std::FILE* file = std::tmpfile();
    settings.descriptor_3 = ::fileno(file);
    arguments.push_back("--eventsfd=3");
    result.run = run_cli(arguments, settings);
    std::rewind(file);
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        result.raw.append(chunk, got);
    std::fclose(file);
    std::size_t start = 0;
    for (std::size_t end; (end = result.raw.find('\n', start)) != std::string::npos;
         start = end + 1)
        result.events.push_back(json::parse(result.raw.substr(start, end - start), nullptr, false));
    EXPECT_EQ(start, result.raw.size()) << "the last event line is not ended";
    return result;
}

std::vector<std::string> causes_of(const EventRun& run)
{
    std::vector<std::string> causes;
    for (const json& event : run.events)
        if (event.is_object() && event.contains("cause"))
            causes.push_back(event["cause"].get<std::string>());
    return causes;
}

TEST(ToolEvents, EveryLogLineAndProgressStepBesideAnUnchangedOutput)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    ScratchFolder folder;
    const std::vector<std::string> arguments
        = { "--action=get_backup", "--ip=" + sim.address(), "--backupfileouttype=directory",
              "--backupfileout=" + folder.path(), R"(--backupconfig=["dali1","cd1","schedules"])" };
    const ProgramRun plain = run_cli(arguments);
    const EventRun with = run_with_events(arguments);
    ASSERT_EQ(with.run.exit_status, 0) << with.run.out;
    EXPECT_EQ(with.run.out, plain.out);
    EXPECT_EQ(with.run.err, plain.err);

    std::vector<std::string> texts;
    std::vector<int> progress;
    for (const json& event : with.events) {
        ASSERT_TRUE(event.is_object() && event.size() == 1) << with.raw;
        if (event.contains("log")) {
            texts.push_back(event["log"]["text"].get<std::string>());
            const std::string kind = event["log"]["kind"].get<std::string>();
            const bool success_line = texts.back().starts_with("100% Completed")
                || texts.back().starts_with("Downloading flashfs.bin");
            EXPECT_TRUE(!success_line || kind == "success") << texts.back();
        } else {
            ASSERT_TRUE(event.contains("progress")) << with.raw;
            progress.push_back(event["progress"].get<int>());
        }
    }
    EXPECT_EQ(texts,
        (std::vector<std::string> { "Downloading flashfs.bin...",
            "Download of flashfs.bin completed (2097152 bytes).",
            "100% Completed (" + folder.path() + ")." }));
    std::size_t at = 0;
    for (const std::string& text : texts) {
        at = with.run.out.find(text + "\r\n", at);
        EXPECT_NE(at, std::string::npos) << text << " is not a line of the output, in order";
    }
    ASSERT_FALSE(progress.empty());
    for (std::size_t k = 1; k < progress.size(); ++k)
        EXPECT_NE(progress[k], progress[k - 1]) << "a step that is no change";
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(causes_of(with).empty()) << "no cause for a run that did all of its work";
}

TEST(ToolEvents, EachFailureNamesItsCauseOnceAtTheEnd)
{
    SimProcess sim({ "http_error=500", "tftp_fail_first=100" });
    ASSERT_TRUE(sim.ready());
    ChildSettings quick;
    quick.environment = { { "KOVRU_TEST_TIME_DIVISOR", "20" } };
    ScratchFolder folder;
    struct Case {
        std::vector<std::string> arguments;
        int exit_status;
        std::string cause;
    };
    const std::vector<Case> cases = {
        { { "--action=get_status", "--ip=127.0.0.1:1" }, 1, "unreachable" },
        { { "--action=get_status", "--ip=" + sim.address(0) }, 1, "controller-refused" },
        { { "--action=read_file_flashfs", "--ip=" + sim.address(1),
              "--backupfileout=" + folder.path(), "--backupfileouttype=zip" },
            1, "transfer-failed" },
        { { "--action=push_d2fw", "--ip=" + sim.address(1),
              "--firmwarefile=" + folder.file("missing.d2fw") },
            2, "refused-input" },
        { { "--action=get_status" }, 2, "refused-input" },
    };
    for (const Case& each : cases) {
        const EventRun run = run_with_events(each.arguments, quick);
        EXPECT_EQ(run.run.exit_status, each.exit_status) << each.arguments[0] << run.run.out;
        EXPECT_EQ(causes_of(run), std::vector<std::string> { each.cause })
            << each.arguments[0] << run.raw;
        ASSERT_FALSE(run.events.empty());
        EXPECT_TRUE(run.events.back().contains("cause")) << "the cause comes last";
    }
}

TEST(ToolEvents, ADescriptorThatCannotTakeEventsIsRefused)
{
    const int read_only = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ChildSettings settings;
    settings.descriptor_3 = read_only;
    for (const std::string value : { "3", "9", "1", "x", "", "3x", "-3" }) {
        const ProgramRun run = run_cli(
            { "--action=get_status", "--ip=127.0.0.1:1", "--eventsfd=" + value }, settings);
        EXPECT_EQ(run.exit_status, 2) << value;
        EXPECT_NE(run.out.find("Invalid --eventsfd value '" + value + "'"), std::string::npos)
            << run.out;
        EXPECT_EQ(run.out.find("fetching URL"), std::string::npos) << "no controller touched";
    }
    ::close(read_only);
}

// A pipe nobody reads fills after some 64 KiB; a pipe whose reader is gone raises SIGPIPE.
// Neither may stop or hang the backup, nor change what it prints.
TEST(ToolEvents, AReaderThatStallsOrIsGoneNeverStopsTheAction)
{
    SimProcess sim({ "flash_size=4096" });
    ASSERT_TRUE(sim.ready());
    ScratchFolder folder;
    // Each refused name is a log line: far more event text than a pipe holds.
    std::string names = R"(["dali1")";
    for (int k = 0; k < 1500; ++k)
        names += ",\"refused name " + std::to_string(k) + "\"";
    names += "]";
    std::vector<std::string> arguments
        = { "--action=get_backup", "--ip=" + sim.address(), "--backupfileouttype=directory",
              "--backupfileout=" + folder.path(), "--backupconfig=" + names };
    const ProgramRun plain = run_cli(arguments);
    arguments.push_back("--eventsfd=3");
    for (const bool reader_gone : { false, true }) {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        if (reader_gone)
            ::close(fds[0]);
        ChildSettings settings;
        settings.descriptor_3 = fds[1];
        const auto start = std::chrono::steady_clock::now();
        const ProgramRun run = run_cli(arguments, settings);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - start);
        EXPECT_EQ(run.exit_status, 1) << reader_gone;
        EXPECT_EQ(run.out, plain.out) << reader_gone;
        EXPECT_NE(run.out.find("100% Completed"), std::string::npos);
        EXPECT_LT(seconds.count(), 30);
        ::close(fds[1]);
        if (!reader_gone)
            ::close(fds[0]);
    }
}

} // namespace
} // namespace kovru
