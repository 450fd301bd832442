#include "bench/host_bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using kovrkit::testing::HostProcess;
using nlohmann::json;
namespace fs = std::filesystem;

namespace kovru::bench {

namespace {

// `bench` for the driver (host_bench_support.h). Reports go to REPORT_URL as
// {"kind": status | progress | error | done | failed, "body": ...}.
const char* kPrelude = R"JS(var bench = (function () {
  'use strict';
  var reportUrl = REPORT_URL;
  var where = 'the page is loading', sent = Promise.resolve();
  // One report after the other, so that they arrive in order.
  function send(kind, body) {
    var text = JSON.stringify({ kind: kind, body: body });
    sent = sent.then(function () { return fetch(reportUrl, { method: 'POST', body: text }); })
      .catch(function () {});
  }
  function statusLine() {
    var status = document.getElementById('status');
    return status ? status.textContent : '(no status line)';
  }
  function state() { return { where: where, status: statusLine() }; }
  function until(condition, seconds, what, everyMs) {
    var started = performance.now();
    return new Promise(function (resolve, reject) {
      (function poll() {
        var held = false;
        try { held = condition(); } catch (error) { reject(error); return; }
        if (held) resolve();
        else if (performance.now() - started > seconds * 1000)
          reject(new Error((typeof what === 'function' ? what() : what) + ' (waited ' + seconds + ' s)'));
        else setTimeout(poll, everyMs || 5);
      })();
    });
  }
  function start(ready, run) {
    function go() {
      where = 'waiting for "Sites loaded" and the page\'s controls';
      until(function () { return statusLine().indexOf('Sites loaded') === 0 && ready(); }, 30,
        'the page did not load its sites and controls', 50)
        .then(function () { where = 'running'; return run(); })
        .then(function (result) { where = 'done'; send('done', result); })
        .catch(function (error) {
          send('failed', { reason: String(error && error.message || error), where: where, status: statusLine() });
        });
    }
    if (document.readyState === 'complete') go();
    else window.addEventListener('load', go);
  }
  window.addEventListener('error', function (event) {
    send('error', event.message + ' (' + event.filename + ':' + event.lineno + ')');
  });
  send('status', state());
  setInterval(function () { send('status', state()); }, 2000);
  return {
    start: start,
    until: until,
    step: function (text) { where = text; },
    progress: function (text) { send('progress', text); }
  };
})();
)JS";

bool replaceOnce(std::string& text, const std::string& what, const std::string& with)
{
    size_t at = text.find(what);
    if (at == std::string::npos)
        return false;
    text.replace(at, what.size(), with);
    return true;
}

// The packaged page with the driver loaded before its modules and reports allowed to `origin`.
bool injectDriver(const kovrkit::testing::TempFolder& folder, const std::string& origin)
{
    std::string index = folder.read("ui/index.html");
    if (!replaceOnce(index, "default-src 'self'", "default-src 'self'; connect-src " + origin)
        || !replaceOnce(index, "</head>", "<script src=\"bench-driver.js\"></script></head>")) {
        std::fprintf(stderr, "ui/index.html has no \"default-src 'self'\" or </head>\n");
        return false;
    }
    folder.write("ui/index.html", index);
    return true;
}

json sitesOf(const kovru::testing::SimProcess& sim, size_t controllers)
{
    json devices = json::array();
    for (size_t unit = 0; unit < controllers; ++unit)
        devices.push_back(
            { { "name", "Gate " + std::to_string(unit + 1) }, { "ip", sim.address(unit) },
                { "description", "" }, { "username", "" }, { "password", "" } });
    return { { "sitesData",
        { { "schemaVersion", 1 }, { "name", "Plant" }, { "description", "" },
            { "folders", json::array() }, { "devices", devices } } } };
}

// A host that has ended (a zombie until HostProcess reaps it) or is gone.
bool hasEnded(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    size_t end = line.rfind(')');
    return end == std::string::npos || line.compare(end + 2, 1, "Z") == 0;
}

std::string describe(const json& status)
{
    if (status.is_null())
        return "the driver never reported: the page or its driver script did not load";
    return "the driver was at \"" + status.value("where", std::string("?"))
        + "\"; the page's status line: \"" + status.value("status", std::string()) + "\"";
}

} // namespace

HostBench::HostBench(const std::vector<std::string>& controllers)
    : controllers_(std::max<size_t>(controllers.size(), 1))
    , sim_(controllers)
    , reports_("127.0.0.1", 0, {})
{
    if (!sim_.ready())
        std::fprintf(stderr, "kovru-sim did not start\n");
}

HostBench::~HostBench()
{
    stop();
}

bool HostBench::start(const std::string& driver, const json& answers)
{
    const char* source = std::getenv("KOVRU_SOURCE_DIR");
    if (!source || !std::getenv("KOVRU_BINARY_DIR")) {
        std::fprintf(stderr, "set KOVRU_SOURCE_DIR and KOVRU_BINARY_DIR\n");
        return false;
    }
    if (!reports_.listening()) {
        std::fprintf(stderr, "no loopback port for the page's reports\n");
        return false;
    }
    fs::create_directories(folder_.path() / "cli");
    fs::create_directories(folder_.path() / "home");
    fs::copy_file(
        kovru::testing::built_program("host/app/cli/kovru-cli"), folder_.path() / "cli/kovru-cli");
    fs::copy(fs::path(source) / "ui", folder_.path() / "ui", fs::copy_options::recursive);
    std::string origin = "http://127.0.0.1:" + std::to_string(reports_.port());
    std::string prelude = kPrelude;
    replaceOnce(prelude, "REPORT_URL", json(origin + "/report").dump());
    folder_.write("ui/bench-driver.js", prelude + driver);
    if (!injectDriver(folder_, origin))
        return false;
    folder_.write("settings.json", sitesOf(sim_, controllers_).dump());
    folder_.write("answers.json", answers.dump());
    host_ = std::make_unique<HostProcess>(folder_.path().string(), std::vector<std::string> {},
        std::vector<std::string> { "KOVRKIT_DIALOG_ANSWERS=" + folder_.file("answers.json"),
            "HOME=" + folder_.file("home") });
    if (!host_->started()) {
        std::fprintf(stderr, "kovrkit did not start\n");
        return false;
    }
    return true;
}

std::optional<json> HostBench::waitForResult(const std::function<void()>& tick, int silentSeconds)
{
    size_t seen = 0;
    json status;
    auto heard = std::chrono::steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        std::vector<std::string> reports = reports_.waitForReports(seen + 1, 0);
        for (; seen < reports.size(); ++seen) {
            heard = std::chrono::steady_clock::now();
            json report = json::parse(reports[seen], nullptr, false);
            std::string kind = report.is_object() ? report.value("kind", "") : "";
            const json& body = kind.empty() ? report : report["body"];
            if (kind == "done")
                return body;
            if (kind == "failed") {
                std::fprintf(stderr, "the page gave up: %s; %s\n",
                    body.value("reason", std::string("?")).c_str(), describe(body).c_str());
                return std::nullopt;
            }
            if (kind == "status")
                status = body;
            else if (kind == "progress" && body.is_string())
                std::fprintf(stderr, "%s\n", body.get<std::string>().c_str());
            else
                std::fprintf(stderr, "page %s: %s\n", kind.empty() ? "report" : kind.c_str(),
                    body.dump().c_str());
        }
        if (hasEnded(hostPid())) {
            std::fprintf(
                stderr, "kovrkit ended before the page finished; %s\n", describe(status).c_str());
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() - heard > std::chrono::seconds(silentSeconds)) {
            std::fprintf(stderr, "the page sent nothing for %d s; %s\n", silentSeconds,
                describe(status).c_str());
            return std::nullopt;
        }
        if (tick)
            tick();
    }
}

void HostBench::stop()
{
    if (!host_)
        return;
    // The last reports may still be on their way when the result is in.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    host_->stop();
    host_.reset();
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t at = std::min(
        values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())));
    return values[at];
}

} // namespace kovru::bench
