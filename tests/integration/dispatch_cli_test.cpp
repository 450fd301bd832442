// Runs the built kovru-cli as a user would: console mode, window mode under Xvfb, and the
// fallback to console mode without a display.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

std::string cli_path()
{
    const char* build = std::getenv("KOVRU_BINARY_DIR");
    return std::string(build ? build : ".") + "/cli/main/kovru-cli";
}

// Runs kovru-cli with the arguments; each "NAME=value" in environment is set ("NAME=" with
// nothing after it removes NAME). Standard error is left alone.
CliRun run_cli(
    const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {})
{
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return {};
    pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        for (const std::string& setting : environment) {
            std::size_t equals = setting.find('=');
            std::string name = setting.substr(0, equals);
            std::string value = setting.substr(equals + 1);
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        std::string path = cli_path();
        std::vector<char*> argv { path.data() };
        std::vector<std::string> copies = arguments;
        for (std::string& argument : copies)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    CliRun run;
    char chunk[4096];
    for (ssize_t got; (got = read(pipe_ends[0], chunk, sizeof chunk)) > 0;)
        run.out.append(chunk, static_cast<std::size_t>(got));
    close(pipe_ends[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    return run;
}

// The tool's original help lines, in their order; the lines of later options follow them.
const std::string specified_help
    = "Help\n"
      "version\t\tShow the command version.\n"
      "help\t\tShow the command help.\n"
      "action\t\tsetup_channel|get_backup|put_backup|push_firmware|push_d2fw.\n"
      "ip\t\tIP address of the controller.\n"
      "channel\t\tChannel number (1-4).\n"
      "channelcsvfile\tChannel CSV file path.\n"
      "firmwarefile\tFirmware binary file path.\n";

TEST(CliConsole, HelpAndVersionEndAtOnceWithSuccess)
{
    CliRun help = run_cli({ "--help", "--action=get_status" });
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("kovru-cli\n" + specified_help)) << help.out;
    EXPECT_NE(help.out.find("\ntftpblocksize\t"), std::string::npos);
    EXPECT_NE(help.out.find("\nreuseconnection\t"), std::string::npos);

    CliRun version = run_cli({ "--version" });
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kovru-cli\nVersion 1.4.1\n");
}

TEST(CliConsole, EchoesOptionsOperandsAndTheValuesItKeeps)
{
    CliRun run = run_cli({ "--nowindow", "--ip=10.1.2.3", "left", "--backupfileout", "/tmp/out",
        "--backupfileouttype=zip", "over" });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
        "kovru-cli\n"
        "option nowindow\n"
        "IP=10.1.2.3\n"
        "BackupFileOut/tmp/out\n"
        "BackupFileOutTypezip\n"
        "non-option ARGV-elements: left over \n"
        "optIP=10.1.2.3\n"
        "optBackupFileOut=/tmp/out\n"
        "optBackupFileOutType=zip\n");
}

TEST(CliConsole, UnknownOrWrongCaseActionIsRefused)
{
    CliRun run = run_cli({ "--nowindow", "--action=Get_Backup" });
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out,
        "kovru-cli\noption nowindow\nACTION=Get_Backup\noptAction=Get_Backup\n"
        "\nAction 'Get_Backup' not defined.\n");
}

TEST(CliConsole, ActionsWithoutAnOperationFail)
{
    CliRun run = run_cli({ "--nowindow", "--action=write_file_flashfs" });
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("not defined"), std::string::npos);
}

TEST(CliConsole, UpgradeWithoutADownloadFolderWarnsAndGoesOn)
{
    CliRun run = run_cli({ "--nowindow", "--action=push_firmware" }, { "HOME=" });
    EXPECT_NE(run.status, 0);
    std::string warning
        = "optAction=push_firmware\n"
          "[WARN] Could not determine user download directory, skipping get_backup.\r\n";
    EXPECT_NE(run.out.find(warning), std::string::npos) << run.out;
    // The upgrade itself still runs and says why it cannot go on.
    EXPECT_GT(run.out.size(), run.out.find(warning) + warning.size());
}

TEST(CliWindow, FallsBackToTheConsoleWithoutADisplay)
{
    CliRun run = run_cli({ "--action=nothing" }, { "DISPLAY=", "WAYLAND_DISPLAY=" });
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("\nAction 'nothing' not defined.\n"), std::string::npos);
}

TEST(CliWindow, RunsTheActionBehindTheWindowAndEndsWithItsStatus)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs a display";
    CliRun refused = run_cli({ "--action=Get_Backup" });
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out,
        "kovru-cli\nACTION=Get_Backup\noptAction=Get_Backup\n"
        "\nAction 'Get_Backup' not defined.\n");

    CliRun nothing = run_cli({});
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.out, "kovru-cli\n");
}

} // namespace
