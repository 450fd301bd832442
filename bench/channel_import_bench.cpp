// Channel set-up without the network: for each of 4 lines, the import of a 64-row channel
// file, a 16-row group file and a 32-row input file into the controller's files with the tar
// image built, and the export of the same files back to CSV. Reported per line.
#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"
#include "cli/backup/tar_image.h"
#include "cli/import/channel_export.h"
#include "cli/import/channel_files.h"
#include "cli/import/line_image.h"
#include "cli/import/line_import.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

using namespace kovru;
namespace fs = std::filesystem;

constexpr unsigned line_count = 4;

struct LineFixture {
    std::vector<std::uint8_t> item_image;
    LineSources sources;
};

std::string channel_csv_text(unsigned line)
{
    std::string text = "#dali-channel-csv-version: 1\n";
    for (int device = 0; device < 64; ++device)
        text += std::to_string(line) + "," + std::to_string(device) + "," + std::to_string(device)
            + ",\"Line " + std::to_string(line) + ", luminaire " + std::to_string(device) + "\",\"["
            + std::to_string(device % 16)
            + ",15]\",254,1,0,0,7,3,"
              "\"[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16]\"\n";
    return text;
}

std::string group_csv_text()
{
    std::string text = "#dali-channel-groups-csv-version: 1\n";
    for (int group = 0; group < 16; ++group)
        text += "0," + std::to_string(group) + ",Group " + std::to_string(group) + "\n";
    return text;
}

std::string input_csv_text(unsigned line)
{
    std::string text = "#dali-channel-inputs-csv-version: 1\n";
    for (int device = 0; device < 32; ++device)
        text += std::to_string(line) + "," + std::to_string(device) + "," + std::to_string(device)
            + ",Input " + std::to_string(device)
            + ",0,4,\"[1,1,3,4]\",\"[0,0,0,0]\",[1],\"[1,2]\",\"[3,4]\",\"[5,6]\",\"[7,8]\","
              "\"[9,10]\",\"[11,12]\",\"[0,0,20]\",\"[0,0,21]\",\"[0,0,22]\",\"[0,0,0,30]\","
              "\"[0,0,0,31]\"\n";
    return text;
}

std::string write(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

const std::vector<LineFixture>& fixtures()
{
    static const std::vector<LineFixture> lines = [] {
        const fs::path folder = fs::temp_directory_path() / "kovru-channel-bench";
        fs::create_directories(folder);
        std::vector<LineFixture> made;
        for (unsigned line = 1; line <= line_count; ++line) {
            std::vector<std::uint8_t> file(channel_layout::v3.file_size);
            finish_config_file_header(file, 3, 1);
            const std::string tag = std::to_string(line);
            made.push_back({ make_single_file_tar(channel_file_path(line), file, 0),
                { write(folder / ("channel" + tag + ".csv"), channel_csv_text(line)),
                    write(folder / ("groups" + tag + ".csv"), group_csv_text()),
                    write(folder / ("inputs" + tag + ".csv"), input_csv_text(line)) } });
        }
        return made;
    }();
    return lines;
}

void BM_ImportFourLines(benchmark::State& state)
{
    const auto& lines = fixtures();
    for (auto _ : state) {
        for (unsigned line = 1; line <= line_count; ++line) {
            const LineFixture& fixture = lines[line - 1];
            LineImport import = import_line(line, fixture.item_image, "2.2.4", fixture.sources);
            auto image = build_line_image(line, import);
            benchmark::DoNotOptimize(image);
        }
    }
    state.counters["per_line"]
        = benchmark::Counter(static_cast<double>(state.iterations() * line_count),
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ImportFourLines)->Unit(benchmark::kMillisecond);

void BM_ExportFourLines(benchmark::State& state)
{
    const auto& lines = fixtures();
    std::vector<LineImport> imported;
    for (unsigned line = 1; line <= line_count; ++line)
        imported.push_back(
            import_line(line, lines[line - 1].item_image, "2.2.4", lines[line - 1].sources));
    for (auto _ : state) {
        for (unsigned line = 1; line <= line_count; ++line) {
            const LineImport& import = imported[line - 1];
            std::string channels
                = export_channel_csv(*import.channel_file, channel_layout::v3, line);
            std::string groups = export_group_csv(*import.channel_file, channel_layout::v3, line);
            std::string inputs = export_input_csv(*import.input_file);
            benchmark::DoNotOptimize(channels);
            benchmark::DoNotOptimize(groups);
            benchmark::DoNotOptimize(inputs);
        }
    }
    state.counters["per_line"]
        = benchmark::Counter(static_cast<double>(state.iterations() * line_count),
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ExportFourLines)->Unit(benchmark::kMillisecond);

} // namespace

// The import prints its console lines as in a real run; they go to /dev/null here and the
// report goes to standard error.
int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
