// Work handed from worker threads to the UI thread's main loop, and the threads' owner.
#include "host/actions/worker_threads.h"
#include "host/platform/glib/glib_main_loop_poster.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace kovrkit;

namespace {

// Runs the default main context until done() holds, at most ten seconds.
template <typename Done> bool iterateUntil(Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, FALSE);
    return done();
}

TEST(GLibMainLoopPoster, TasksFromAWorkerRunOnTheLoopThreadInOrder)
{
    GLibMainLoopPoster poster;
    const auto loopThread = std::this_thread::get_id();
    std::vector<int> ran;
    bool allOnLoopThread = true;
    std::thread worker([&] {
        for (int index = 0; index < 200; ++index)
            EXPECT_TRUE(poster.post([&ran, &allOnLoopThread, loopThread, index] {
                allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
                ran.push_back(index);
            }));
    });
    ASSERT_TRUE(iterateUntil([&] { return ran.size() == 200; }));
    worker.join();
    EXPECT_TRUE(allOnLoopThread);
    for (int index = 0; index < 200; ++index)
        EXPECT_EQ(ran[static_cast<std::size_t>(index)], index);
}

TEST(GLibMainLoopPoster, TasksNotRunWhenThePosterGoesAwayAreFreedNotRun)
{
    auto owned = std::make_shared<int>(0);
    bool ran = false;
    {
        GLibMainLoopPoster poster;
        for (int index = 0; index < 10; ++index)
            poster.post([owned, &ran] { ran = true; });
        EXPECT_EQ(owned.use_count(), 11);
    }
    EXPECT_EQ(owned.use_count(), 1);
    while (g_main_context_iteration(nullptr, FALSE)) { }
    EXPECT_FALSE(ran);
}

TEST(WorkerThreads, DestructionStopsAndJoinsEveryWorker)
{
    std::atomic<int> stoppedCleanly = 0;
    std::atomic<int> started = 0;
    {
        WorkerThreads workers;
        for (int index = 0; index < 3; ++index)
            workers.start([&](std::stop_token stop) {
                ++started;
                while (!stop.stop_requested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++stoppedCleanly;
            });
        while (started < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(workers.runningCount(), 3u);
    }
    EXPECT_EQ(stoppedCleanly, 3);

    WorkerThreads workers;
    std::atomic<bool> done = false;
    workers.start([&](std::stop_token) { done = true; });
    while (!done)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (workers.runningCount() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(workers.runningCount(), 0u);
}

} // namespace
