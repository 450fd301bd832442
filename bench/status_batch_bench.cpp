// A status batch of many simulated controllers, some of which accept the connection and then
// stay silent beyond the 10 s time-out; prints wall time and the process's peak threads.
//   build/bench/status_batch_bench build/sim/kovru-sim [DEVICES] [SILENT] [IN_FLIGHT]
#include "host/actions/status_batches.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kovrkit;

namespace {

pid_t spawnQuiet(const std::vector<std::string>& arguments, const std::string& outputPath)
{
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    std::FILE* output = std::fopen(outputPath.c_str(), "w");
    if (output) {
        ::dup2(::fileno(output), STDOUT_FILENO);
        ::dup2(::fileno(output), STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The "127.0.0.1:PORT" of every listening line, once the simulator is ready.
std::vector<std::string> waitForControllers(const std::string& log)
{
    for (int wait = 0; wait < 600; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::string text = readText(log);
        if (text.find("\nready") == std::string::npos)
            continue;
        std::vector<std::string> addresses;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            size_t port = line.find(" port=");
            if (line.starts_with("listening") && port != std::string::npos)
                addresses.push_back(
                    "127.0.0.1:" + std::to_string(std::atoi(line.c_str() + port + 6)));
        }
        return addresses;
    }
    return {};
}

int threadsNow()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Threads:"))
            return std::atoi(line.c_str() + 8);
    }
    return 0;
}

// Runs each posted task at once and counts the messages; wakes the waiter at the summary.
class CountingPoster final : public MainLoopPoster, public UiReplySink {
public:
    bool post(Task task) override
    {
        task();
        return true;
    }
    void sendToUi(std::string json) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (json.find("\"nativeActionResult\"") != std::string::npos) {
            (json.find("\"success\":true") != std::string::npos ? succeeded : failed)++;
        } else {
            done = true;
            changed_.notify_all();
        }
    }
    void waitForSummary()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return done; });
    }
    int succeeded = 0;
    int failed = 0;
    bool done = false;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

struct BatchRun {
    double seconds = 0;
    int succeeded = 0;
    int failed = 0;
    int peakThreads = 0;
};

BatchRun runBatch(const std::vector<std::string>& addresses, size_t maxInFlight)
{
    BatchRun run;
    std::atomic<bool> sampling = true;
    std::atomic<int> peak = threadsNow();
    std::thread sampler([&] {
        while (sampling) {
            peak = std::max(peak.load(), threadsNow());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    CountingPoster poster;
    auto start = std::chrono::steady_clock::now();
    {
        StatusBatches batches(poster, poster, {}, maxInFlight);
        batches.start(addresses, true);
        poster.waitForSummary();
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sampling = false;
    sampler.join();
    run.succeeded = poster.succeeded;
    run.failed = poster.failed;
    run.peakThreads = peak - 1; // without the sampler
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s KOVRU_SIM [DEVICES] [SILENT] [IN_FLIGHT]\n", argv[0]);
        return 2;
    }
    const int devices = argc > 2 ? std::atoi(argv[2]) : 200;
    const int silent = argc > 3 ? std::atoi(argv[3]) : 20;
    // The host's limit unless another one is asked for, to see what the limit costs.
    const size_t inFlight = argc > 4 ? std::max(1, std::atoi(argv[4])) : kMaxStatusReadsInFlight;

    // Silent controllers wait 15 s before any answer, longer than the reader's 10 s time-out;
    // they are spread evenly over the list.
    std::vector<std::string> arguments { argv[1] };
    int spacing = silent > 0 ? devices / silent : devices + 1;
    for (int device = 0; device < devices; ++device) {
        bool isSilent = silent > 0 && device % spacing == spacing - 1 && device / spacing < silent;
        arguments.push_back("--controller");
        arguments.push_back(
            std::string("ip=127.0.0.1,port=0") + (isSilent ? ",latency_ms=15000" : ""));
    }
    std::string log = "/tmp/status_batch_bench_sim_" + std::to_string(::getpid()) + ".log";
    pid_t sim = spawnQuiet(arguments, log);
    std::vector<std::string> addresses = waitForControllers(log);
    if (addresses.size() != static_cast<size_t>(devices)) {
        std::fprintf(stderr, "the simulator did not start its %d controllers\n", devices);
        ::kill(sim, SIGKILL);
        return 1;
    }
    std::fprintf(
        stderr, "%d devices, %d silent, at most %zu reads in flight\n", devices, silent, inFlight);
    BatchRun run = runBatch(addresses, inFlight);
    std::fprintf(stderr, "batch: %.2f s, %d succeeded, %d failed, peak threads %d\n", run.seconds,
        run.succeeded, run.failed, run.peakThreads);
    if (silent == 0) {
        BatchRun sequential = runBatch(addresses, 1);
        std::fprintf(stderr, "one read at a time: %.2f s, %d succeeded, peak threads %d\n",
            sequential.seconds, sequential.succeeded, sequential.peakThreads);
    }
    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);
    ::unlink(log.c_str());
    return 0;
}
