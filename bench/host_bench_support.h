// The real host (kovrkit) with the packaged UI, driven by a script the benchmark puts into the
// page: simulated controllers as the devices of the site "Plant" ("Gate 1", "Gate 2" ...), the
// host's file choosers answered from a list, and the script's reports received over loopback
// HTTP. A page that stalls is reported with where it stopped; the benchmark never sits silent.
// The script finds `bench` ready before it runs:
//   bench.start(ready, run): once the page has loaded, shows "Sites loaded" and ready() holds
//     (30 s at most), runs run(), a promise of the result, reported to waitForResult; a
//     rejection is reported as the driver's failure;
//   bench.until(condition, seconds, what, everyMs = 5): a promise kept once condition() holds,
//     broken with `what` (a text, or a function giving it) after `seconds` or when condition
//     throws;
//   bench.step(text): where the driver is, reported with the page's status line every 2 s;
//   bench.progress(text): a line the benchmark prints on standard error.
#pragma once

#include "fakes/fake_host_process.h"
#include "fakes/fake_http_server.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/sim_process.h"

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kovru::bench {

class HostBench {
public:
    // Starts kovru-sim with one controller per entry (its --controller settings).
    explicit HostBench(const std::vector<std::string>& controllers);
    ~HostBench();
    HostBench(const HostBench&) = delete;
    HostBench& operator=(const HostBench&) = delete;

    // The simulator runs; otherwise a message has been printed.
    bool ready() const { return sim_.ready(); }
    const kovru::testing::SimProcess& sim() const { return sim_; }
    // The host's folder (the program, its settings, the copied UI); free for the bench's files.
    const kovrkit::testing::TempFolder& folder() const { return folder_; }

    // Lays out the host's folder (kovru-cli, the UI from KOVRU_SOURCE_DIR with the driver
    // script loaded before the page's modules, one device per controller) and starts the host,
    // whose dialogs take `answers` in order. False, with a message printed, when it cannot.
    bool start(const std::string& driver, const nlohmann::json& answers);
    pid_t hostPid() const { return host_ ? host_->pid() : -1; }

    // Waits for the driver's result (what it passed to bench.done), calling `tick` about every
    // 250 ms meanwhile. Nothing, with the reason and the page's last status printed, when the
    // driver gave up, the page sent nothing for `silentSeconds` or the host ended.
    std::optional<nlohmann::json> waitForResult(
        const std::function<void()>& tick = {}, int silentSeconds = 30);
    // Closes the window.
    void stop();

private:
    size_t controllers_;
    kovru::testing::SimProcess sim_;
    kovrkit::testing::TempFolder folder_;
    kovrkit::testing::FakeHttpServer reports_;
    std::unique_ptr<kovrkit::testing::HostProcess> host_;
};

// The value at `share` (0 to 1) of the sorted values; 0 for none.
double percentile(std::vector<double> values, double share);

} // namespace kovru::bench
