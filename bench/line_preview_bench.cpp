// The DALI line set-up's preview in the real host through the packaged UI: the technician has
// chosen the channel, group and input files of lines 1 to 3 and chooses the last one (line 4's
// input file) through the host's chooser; the time from that click until the preview table
// shows every controller's result. Each round alternates between two sets of files, so every
// preview is a fresh dry run of four lines. Run under a display (xvfb-run):
//   KOVRU_BINARY_DIR=build KOVRU_SOURCE_DIR=. xvfb-run -a build/bench/line_preview_bench
//       [LATENCY_MS=2] [ROUNDS=6] [CONTROLLERS...=1 8]
#include "bench/child_process.h"
#include "bench/host_bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using kovrkit::testing::TempFolder;
using kovru::bench::HostBench;
using kovru::bench::percentile;
using kovru::testing::run_cli;
using nlohmann::json;

namespace {

// For each entry of RUNS (a number of controllers) and each round: check that many devices,
// open the dialog with its fields empty, type eleven paths, then click the last chooser and
// wait for the preview.
const char* kDriver = R"JS(
(function () {
  var runs = RUNS, rounds = ROUNDS, files = FILES;
  var kinds = ['channel', 'groups', 'inputs'], lines = [1, 2, 3, 4];
  // When the host's answers arrive, in ms after the click: the chosen file, the preview's job
  // started, its first and last device result, its end.
  var marks = null;
  window.chrome.webview.addEventListener('message', function (event) {
    if (!marks) return;
    var command = event.data.command, at = performance.now() - marks.t0;
    if (command === 'fileChosen' && marks.chosen === undefined) marks.chosen = at;
    if (command === 'jobStarted' && marks.started === undefined) marks.started = at;
    if (command === 'jobDeviceResult') { if (marks.first === undefined) marks.first = at; marks.last = at; }
    if (command === 'jobFinished' && marks.finished === undefined) marks.finished = at;
  });
  function $(id) { return document.getElementById(id); }
  function previewText() { return $('preview-status').textContent; }
  function previewShown(devices) {
    var text = previewText();
    return /would change on \d+ of \d+ device/.test(text) && text.indexOf(' of ' + devices + ' device') > 0;
  }
  // A click on a box redraws the tree's rows, so the boxes are looked up again each time.
  function select(devices) {
    var boxes = function () { return document.querySelectorAll('#tree .row.device input.check'); };
    for (var n = 0; n < boxes().length; n += 1) if (boxes()[n].checked !== (n < devices)) boxes()[n].click();
    var checked = document.querySelectorAll('#tree .row.device input.check:checked').length;
    if (checked !== devices) throw new Error(checked + ' of the ' + devices + ' devices could be checked in the tree');
  }
  function round(devices, index) {
    var set = files[index % 2], t0 = 0;
    var label = devices + ' device' + (devices === 1 ? '' : 's') + ', round ' + (index + 1) + ' of ' + rounds;
    bench.step(label + ': opening the dialog');
    select(devices);
    // The last round's files are cleared, so the dialog opens without a choice to preview.
    kinds.forEach(function (kind) { lines.forEach(function (line) { $('line-' + line + '-' + kind).value = ''; }); });
    $('open-line-setup').click();
    if (!$('line-setup-dialog').open) throw new Error('the DALI line set-up dialog did not open');
    kinds.forEach(function (kind) {
      lines.forEach(function (line) {
        if (line === 4 && kind === 'inputs') return;
        var field = $('line-' + line + '-' + kind);
        field.value = set[line + '-' + kind];
        field.dispatchEvent(new Event('input', { bubbles: true }));
      });
    });
    bench.step(label + ': waiting for the preview');
    t0 = performance.now();
    marks = { t0: t0 };
    document.querySelector('[aria-label="Choose the input file of line 4"]').click();
    return bench.until(function () { return previewShown(devices) && $('line-4-inputs').value === set['4-inputs']; }, 60,
      function () { return 'no preview of ' + devices + ' devices: the dialog shows "' + previewText() + '", line 4\'s input file "' + $('line-4-inputs').value + '"'; })
      .then(function () {
        var result = { devices: devices, ms: performance.now() - t0, rows: $('preview-body').children.length,
          apply: !$('line-setup-apply').disabled, chosen: marks.chosen, started: marks.started, first: marks.first,
          last: marks.last, finished: marks.finished };
        marks = null;
        bench.progress(label + ': ' + Math.round(result.ms) + ' ms');
        $('line-setup-dialog').close('cancel');
        return new Promise(function (resolve) { setTimeout(function () { resolve(result); }, 50); });
      });
  }
  bench.start(function () { return $('open-line-setup') && document.querySelector('#tree .row.device'); }, function () {
    var results = [], chain = Promise.resolve();
    runs.forEach(function (devices) {
      for (var index = 0; index < rounds; index += 1) {
        (function (at) {
          chain = chain.then(function () { return round(devices, at); }).then(function (r) { results.push(r); });
        })(index);
      }
    });
    return chain.then(function () { return results; });
  });
})();
)JS";

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
        std::string text = kovru::bench::read_text(file.get<std::string>());
        text = std::regex_replace(text, std::regex("\n#([1-4]),"), "\n$1,");
        if (variant == 1)
            text = std::regex_replace(text, std::regex("luminaire"), "lamp");
        std::ofstream(file.get<std::string>(), std::ios::binary) << text;
    }
    return set;
}

std::vector<json> resultsOf(const json& results, const json& run)
{
    std::vector<json> of;
    for (const json& result : results)
        if (result["devices"] == run)
            of.push_back(result);
    return of;
}

// The median of one mark over the rounds that have it.
double medianOf(const std::vector<json>& results, const char* mark)
{
    std::vector<double> values;
    for (const json& result : results)
        if (result.contains(mark) && result[mark].is_number())
            values.push_back(result[mark].get<double>());
    return percentile(values, 0.5);
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
    int controllers = 0;
    for (const json& run : runs)
        controllers = std::max(controllers, run.get<int>());

    HostBench bench(std::vector<std::string>(static_cast<size_t>(controllers),
        "model=VELDIR-4,firmware=2.2.4,latency_ms=" + std::to_string(latency)));
    if (!bench.ready())
        return 1;
    TempFolder csv;
    json files = { writeFiles(bench.sim().address(0), csv, 0),
        writeFiles(bench.sim().address(0), csv, 1) };
    std::string driver = kDriver;
    driver.replace(driver.find("RUNS"), 4, runs.dump());
    driver.replace(driver.find("ROUNDS"), 6, std::to_string(rounds));
    driver.replace(driver.find("FILES"), 5, files.dump());
    // Each round's chooser answers with its variant's file.
    json answers = json::array();
    for (size_t run = 0; run < runs.size(); ++run)
        for (int at = 0; at < rounds; ++at)
            answers.push_back(files[at % 2]["4-inputs"]);
    if (!bench.start(driver, answers))
        return 1;
    std::optional<json> shown = bench.waitForResult();
    bench.stop();
    if (!shown)
        return 1;
    const json& results = *shown;

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
        for (const json& result : resultsOf(results, run)) {
            times.push_back(result["ms"].get<double>());
            rows = std::max(rows, result["rows"].get<size_t>());
            apply = apply && result["apply"].get<bool>();
        }
        std::printf("| %d | %.0f / %.0f ms | %zu | %s |\n", run.get<int>(), percentile(times, 0.5),
            percentile(times, 1.0), rows, apply ? "yes" : "no");
    }
    std::printf("\nwhere the time goes, median ms after the click\n");
    std::printf("| controllers | file chosen | job started | first device | last device | job "
                "finished | table shown |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const json& run : runs) {
        std::printf("| %d |", run.get<int>());
        for (const char* mark : { "chosen", "started", "first", "last", "finished", "ms" })
            std::printf(" %.0f |", medianOf(resultsOf(results, run), mark));
        std::printf("\n");
    }
    return 0;
}
