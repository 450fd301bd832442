// The DALI line set-up's preview in the real host through the packaged UI: the technician has
// chosen the channel, group and input files of lines 1 to 3 and chooses the last one (line 4's
// input file) through the host's chooser; the time from that click until the preview table
// shows every controller's result. Each round alternates between two sets of files, so every
// preview is a fresh dry run of four lines. Run under a display (xvfb-run):
//   KOVRU_BINARY_DIR=build KOVRU_SOURCE_DIR=. xvfb-run -a build/bench/line_preview_bench
//       [LATENCY_MS=2] [ROUNDS=6] [CONTROLLERS...=1 8]
#include "fakes/fake_host_process.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/sim_process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

using kovrkit::testing::HostProcess;
using kovrkit::testing::TempFolder;
using kovru::testing::run_cli;
using kovru::testing::SimProcess;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// For each entry of RUNS (a number of controllers) and each round: check that many devices,
// open the dialog, type eleven paths, then click the last chooser and wait for the preview.
const char* kDriver = R"JS(
(function () {
  var runs = RUNS, rounds = ROUNDS, files = FILES;
  function $(id) { return document.getElementById(id); }
  function until(condition) {
    return new Promise(function (resolve) {
      (function poll() { if (condition()) resolve(); else setTimeout(poll, 5); })();
    });
  }
  function previewShown(devices) {
    return /would change on \d+ of (\d+) device/.test($('preview-status').textContent)
      && !/running/.test($('preview-status').textContent)
      && $('preview-status').textContent.indexOf(' of ' + devices + ' device') > 0;
  }
  function select(devices) {
    var boxes = function () { return document.querySelectorAll('#tree .row.device input.check'); };
    for (var n = 0; n < boxes().length; n += 1) if (boxes()[n].checked !== (n < devices)) boxes()[n].click();
  }
  function round(devices, index) {
    var set = files[index % 2], t0 = 0;
    select(devices);
    $('open-line-setup').click();
    ['channel', 'groups', 'inputs'].forEach(function (kind) {
      [1, 2, 3, 4].forEach(function (line) {
        if (line === 4 && kind === 'inputs') return;
        var field = $('line-' + line + '-' + kind);
        field.value = set[line + '-' + kind];
        field.dispatchEvent(new Event('input', { bubbles: true }));
      });
    });
    t0 = performance.now();
    document.querySelector('[aria-label="Choose the input file of line 4"]').click();
    return until(function () { return previewShown(devices) && $('line-4-inputs').value === set['4-inputs']; })
      .then(function () {
        var result = { devices: devices, ms: performance.now() - t0, rows: $('preview-body').children.length,
          apply: !$('line-setup-apply').disabled };
        $('line-setup-dialog').close('cancel');
        return new Promise(function (resolve) { setTimeout(function () { resolve(result); }, 50); });
      });
  }
  window.addEventListener('load', function () {
    var results = [];
    var chain = until(function () { return $('status').textContent.indexOf('Sites loaded') === 0 && $('open-line-setup'); });
    runs.forEach(function (devices) {
      for (var index = 0; index < rounds; index += 1) {
        (function (at) {
          chain = chain.then(function () { return round(devices, at); }).then(function (r) { results.push(r); });
        })(index);
      }
    });
    chain.then(function () {
      window.chrome.webview.postMessage({ command: 'sites_exportCsv', payload: { csvContent: JSON.stringify(results) } });
    });
  });
})();
)JS";

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The twelve files of lines 1 to 4 as exported, every row applied; variant 1 renames the
// devices so that its preview differs from variant 0's.
json writeFiles(const std::string& address, const TempFolder& folder, int variant)
{
    json set = json::object();
    std::vector<std::string> lists[3];
    const char* kinds[3] = { "channel", "groups", "inputs" };
    for (int line = 1; line <= 4; ++line)
        for (int kind = 0; kind < 3; ++kind) {
            std::string key = std::to_string(line) + "-" + kinds[kind];
            std::string file = folder.file("v" + std::to_string(variant) + "-" + key + ".csv");
            set[key] = file;
            lists[kind].push_back(file);
        }
    auto list = [](const std::vector<std::string>& files) { return json(files).dump(); };
    auto run = run_cli({ "--action=export_channel", "--ip=" + address, "--channel=[1,2,3,4]",
        "--channelcsvfile=" + list(lists[0]), "--channelgroupscsvfile=" + list(lists[1]),
        "--channelinputscsvfile=" + list(lists[2]) });
    if (run.exit_status != 0)
        std::fprintf(stderr, "export failed: %s\n", run.out.c_str());
    for (const auto& [key, file] : set.items()) {
        std::string text = readText(file.get<std::string>());
        text = std::regex_replace(text, std::regex("\n#([1-4]),"), "\n$1,");
        if (variant == 1)
            text = std::regex_replace(text, std::regex("luminaire"), "lamp");
        std::ofstream(file.get<std::string>(), std::ios::binary) << text;
    }
    return set;
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

} // namespace

int main(int argc, char** argv)
{
    int latency = argc > 1 ? std::atoi(argv[1]) : 2;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 6;
    json runs = json::array();
    for (int index = 3; index < argc; ++index)
        runs.push_back(std::atoi(argv[index]));
    if (runs.empty())
        runs = { 1, 8 };
    const char* source = std::getenv("KOVRU_SOURCE_DIR");
    if (!source || !std::getenv("KOVRU_BINARY_DIR")) {
        std::fprintf(stderr, "set KOVRU_SOURCE_DIR and KOVRU_BINARY_DIR\n");
        return 2;
    }
    int controllers = 0;
    for (const json& run : runs)
        controllers = std::max(controllers, run.get<int>());

    std::vector<std::string> settings(static_cast<size_t>(controllers),
        "model=VELDIR-4,firmware=2.2.4,latency_ms=" + std::to_string(latency));
    SimProcess sim(settings);
    if (!sim.ready()) {
        std::fprintf(stderr, "kovru-sim did not start\n");
        return 1;
    }
    TempFolder folder;
    fs::create_directories(folder.path() / "cli");
    fs::create_directories(folder.path() / "home");
    fs::create_directories(folder.path() / "csv");
    fs::copy_file(
        kovru::testing::built_program("host/app/cli/kovru-cli"), folder.path() / "cli/kovru-cli");
    fs::copy(fs::path(source) / "ui", folder.path() / "ui", fs::copy_options::recursive);
    TempFolder csv;
    json files = { writeFiles(sim.address(0), csv, 0), writeFiles(sim.address(0), csv, 1) };
    std::string driver = kDriver;
    driver.replace(driver.find("RUNS"), 4, runs.dump());
    driver.replace(driver.find("ROUNDS"), 6, std::to_string(rounds));
    driver.replace(driver.find("FILES"), 5, files.dump());
    folder.write("ui/driver.js", driver);
    std::string index = folder.read("ui/index.html");
    index.replace(index.find("</head>"), 7, "<script src=\"driver.js\"></script></head>");
    folder.write("ui/index.html", index);
    json devices = json::array();
    for (size_t unit = 0; unit < static_cast<size_t>(controllers); ++unit)
        devices.push_back(
            { { "name", "Gate " + std::to_string(unit + 1) }, { "ip", sim.address(unit) },
                { "description", "" }, { "username", "" }, { "password", "" } });
    folder.write("settings.json",
        json { { "sitesData",
                   { { "schemaVersion", 1 }, { "name", "Plant" }, { "description", "" },
                       { "folders", json::array() }, { "devices", devices } } } }
            .dump());
    // Each round's chooser answers with its variant's file, then the export's save answer.
    json answers = json::array();
    for (size_t run = 0; run < runs.size(); ++run)
        for (int at = 0; at < rounds; ++at)
            answers.push_back(files[at % 2]["4-inputs"]);
    answers.push_back(folder.file("shown.json"));
    folder.write("answers.json", answers.dump());

    HostProcess host(folder.path().string(), {},
        { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json"), "HOME=" + folder.file("home") });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (!fs::exists(folder.path() / "shown.json") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    host.stop();
    if (!fs::exists(folder.path() / "shown.json")) {
        std::fprintf(stderr, "the page did not finish\n");
        return 1;
    }
    json results = json::parse(folder.read("shown.json"));

    std::printf(
        "preview of 4 lines (channel, group and input file each), %d ms latency, %d rounds\n",
        latency, rounds);
    std::printf(
        "| controllers | choice to preview median / max | preview rows | Apply offered |\n");
    std::printf("|---|---|---|---|\n");
    for (const json& run : runs) {
        std::vector<double> times;
        size_t rows = 0;
        bool apply = true;
        for (const json& result : results)
            if (result["devices"] == run) {
                times.push_back(result["ms"].get<double>());
                rows = std::max(rows, result["rows"].get<size_t>());
                apply = apply && result["apply"].get<bool>();
            }
        std::printf("| %d | %.0f / %.0f ms | %zu | %s |\n", run.get<int>(), percentile(times, 0.5),
            percentile(times, 1.0), rows, apply ? "yes" : "no");
    }
    return 0;
}
