// The command line of kovru-cli: getopt_long over argv, echoing each option as it is read.
#pragma once

#include "cli/main/options.h"

#include <cstdio>
#include <string>
#include <vector>

namespace kovru {

inline constexpr const char* kCliVersion = "1.4.1";

enum class ParseOutcome {
    run, // go on to the action
    finished, // --help or --version printed its text; the process ends with status 0
};

struct ParsedCommandLine {
    CliOptions options;
    ParseOutcome outcome = ParseOutcome::run;
    std::vector<std::string> operands; // arguments that are not options, in order
    // Why the command line cannot run, one text per fault: an option the parser did not
    // know or that lacked its value, a list option whose value is not JSON. The parse
    // itself goes on as specified; the run then ends with 2 before any action.
    std::vector<std::string> faults;
};

// Parses argv (argv[0] is the program name) and writes the echo lines to out; the option
// parser's own complaints go to standard error. Resets getopt's state, so it may be called
// more than once per process, but never from two threads at a time.
ParsedCommandLine parse_command_line(const std::vector<std::string>& arguments, std::FILE* out);

// Whether the run shows no window: --nowindow, or --help/--version, which end at once.
// Parses silently.
bool wants_console_only(const std::vector<std::string>& arguments);

void print_help(std::FILE* out);

// The long option names the parser knows, in table order.
std::vector<std::string> long_option_names();

} // namespace kovru
