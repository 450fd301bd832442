// The real kovrkit started for a test: a program folder of its own and a page served to its
// --dev origin, which reports what it saw.
#pragma once

#include "fakes/fake_host_process.h"
#include "fakes/fake_http_server.h"
#include "fakes/fake_temp_folder.h"

#include <sys/types.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace kovrkit::testing {

// A fresh program folder for the built kovrkit: "home", "tmp" and `folders`, no dialog
// answers ("answers.json" holds []), and the built kovru-cli in cli/ unless withTool is false.
class HostFolder {
public:
    explicit HostFolder(std::initializer_list<const char*> folders = {}, bool withTool = true);

    // KOVRKIT_DIALOG_ANSWERS, HOME, XDG_CONFIG_HOME and TMPDIR in the folder, and the --dev
    // port when one is given.
    std::vector<std::string> environment(int devPort = 0) const;
    // Everything under the folder's `name`, sorted.
    std::vector<std::filesystem::path> filesUnder(const std::string& name) const;

    TempFolder folder;
};

// The built kovrkit with --dev in `host`'s folder, its page `page` served on a loopback port;
// `environment` is added to the folder's.
class HostWithPage {
public:
    HostWithPage(const HostFolder& host, const std::string& page,
        const std::vector<std::string>& environment = {});

    // The page is served and the host runs.
    bool started() const { return server_.listening() && process_.started(); }
    pid_t pid() const { return process_.pid(); }
    // The bodies the page posted to /report, once `count` arrived or `seconds` passed.
    std::vector<std::string> waitForReports(size_t count = 1, int seconds = 240)
    {
        return server_.waitForReports(count, seconds);
    }
    // Closes the window; the host's exit status.
    int stop() { return process_.stop(); }

private:
    FakeHttpServer server_;
    HostProcess process_;
};

// Shows `page` in the host until it reports, then closes the window, expecting status 0; the
// report parsed, or an empty array when none came.
nlohmann::json runPage(const HostFolder& host, const std::string& page);

// `text` with the first `placeholder` replaced by `value` (a page's STEPS or ADDRESS).
std::string filledIn(std::string text, const std::string& placeholder, const std::string& value);

// The running processes named `name` (as /proc/PID/stat names them) whose parent is `parent`.
std::vector<pid_t> childrenNamed(pid_t parent, const std::string& name);

} // namespace kovrkit::testing
