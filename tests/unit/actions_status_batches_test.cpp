// Status requests of the UI read their devices concurrently and still report them in list
// order, each as soon as it and every one before it are known, then the summary.
#include "fakes/fake_host_services.h"
#include "fakes/fake_http_server.h"
#include "host/actions/action_result.h"
#include "host/actions/status_batches.h"
#include "host/actions/status_client.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace kovrkit;
using namespace kovrkit::testing;
using namespace std::chrono_literals;

namespace {

struct BatchSummary {
    int32_t total = 0;
    int32_t succeeded = 0;
    int32_t failed = 0;
};

struct Posted {
    std::vector<ActionResult> results;
    std::vector<BatchSummary> summaries;
    std::vector<std::string> order; // "result ADDRESS" or "summary"
};

// Reads back the messages the posted tasks send, as the UI would receive them.
class RecordingSink final : public UiReplySink {
public:
    void sendToUi(std::string json) override
    {
        nlohmann::json message = nlohmann::json::parse(json);
        const nlohmann::json& payload = message.at("payload");
        if (message.at("command") == "nativeActionResult") {
            ActionResult result { payload.at("action"), payload.at("success"),
                payload.at("exitCode"), payload.at("message"), payload.at("deviceIp"),
                payload.contains("data") ? payload.at("data").dump() : "" };
            posted.order.push_back("result " + result.deviceIp);
            posted.results.push_back(std::move(result));
        } else {
            posted.order.push_back("summary");
            posted.summaries.push_back(
                { payload.at("total"), payload.at("succeeded"), payload.at("failed") });
        }
    }
    Posted posted;
};

Posted take(FakeMainLoopPoster& poster, RecordingSink& sink, size_t count)
{
    for (MainLoopPoster::Task& task : poster.takeAfterAttempts(count))
        task();
    return std::exchange(sink.posted, {});
}

} // namespace

TEST(StatusBatches, LaterDevicesFinishingFirstStillGoOutInListOrder)
{
    // Device i answers after (40 - i) * 5 ms, so every read finishes before the one before it;
    // every fourth device fails.
    std::atomic<int> inFlight = 0;
    std::atomic<int> mostInFlight = 0;
    auto reader = [&](const std::string& address, const std::atomic<bool>&) {
        int now = ++inFlight;
        for (int seen = mostInFlight;
             now > seen && !mostInFlight.compare_exchange_weak(seen, now);) { }
        int index = std::stoi(address.substr(address.rfind('.') + 1));
        std::this_thread::sleep_for(std::chrono::milliseconds((40 - index) * 5));
        --inFlight;
        if (index % 4 == 0)
            return StatusReading { false, 404, "Status request failed with HTTP 404", {} };
        return StatusReading { true, 0, "Status retrieved successfully", { { "mac", address } } };
    };
    FakeMainLoopPoster poster;
    RecordingSink sink;
    std::vector<std::string> addresses;
    std::vector<std::string> expected;
    for (int index = 0; index < 40; ++index) {
        addresses.push_back(" 127.0.0." + std::to_string(index));
        expected.push_back("result 127.0.0." + std::to_string(index));
    }
    addresses.push_back("127.0.0.3"); // a copy, dropped
    expected.push_back("summary");
    {
        StatusBatches batches(poster, sink, reader);
        batches.start(addresses, true);
        Posted posted = take(poster, sink, 41);
        EXPECT_EQ(posted.order, expected);
        ASSERT_EQ(posted.summaries.size(), 1u);
        EXPECT_EQ(posted.summaries[0].total, 40);
        EXPECT_EQ(posted.summaries[0].succeeded, 30);
        EXPECT_EQ(posted.summaries[0].failed, 10);
        EXPECT_EQ(posted.results[1].data, R"({"mac":"127.0.0.1"})");
        EXPECT_EQ(posted.results[4].exitCode, 404);
        EXPECT_EQ(posted.results[4].data, "");
    }
    EXPECT_GT(mostInFlight.load(), 1);
    EXPECT_LE(mostInFlight.load(), static_cast<int>(kMaxStatusReadsInFlight));
}

TEST(StatusBatches, SixtyFourReadsGoOutAtOnceAndNoMore)
{
    // Each read holds until 64 are in flight (or 5 s have passed), so a lower limit shows as
    // fewer and a missing one as more.
    std::mutex mutex;
    std::condition_variable changed;
    int inFlight = 0;
    int mostInFlight = 0;
    bool reached = false;
    auto reader = [&](const std::string& address, const std::atomic<bool>&) {
        std::unique_lock<std::mutex> lock(mutex);
        mostInFlight = std::max(mostInFlight, ++inFlight);
        reached = reached || inFlight == 64;
        changed.notify_all();
        if (!changed.wait_for(lock, 5s, [&] { return reached; }))
            reached = true;
        --inFlight;
        return StatusReading { true, 0, "Status retrieved successfully", { { "mac", address } } };
    };
    FakeMainLoopPoster poster;
    RecordingSink sink;
    std::vector<std::string> addresses;
    for (int index = 0; index < 100; ++index)
        addresses.push_back("127.0.0." + std::to_string(index));
    {
        StatusBatches batches(poster, sink, reader);
        batches.start(addresses, true);
        Posted posted = take(poster, sink, 101);
        ASSERT_EQ(posted.order.size(), 101u);
        EXPECT_EQ(posted.order[99], "result 127.0.0.99");
        EXPECT_EQ(posted.summaries.at(0).succeeded, 100);
    }
    EXPECT_EQ(mostInFlight, 64);
}

TEST(StatusBatches, DeadAddressesKeepTheirPlace)
{
    FakeHttpServer live("127.0.0.1", 0, { { kStatusPath, R"({"model_name":"VELDIR-3"})" } });
    FakeHttpServer missing("127.0.0.1", 0, {});
    std::string liveAddress = "127.0.0.1:" + std::to_string(live.port());
    std::string missingAddress = "127.0.0.1:" + std::to_string(missing.port());
    FakeMainLoopPoster poster;
    RecordingSink sink;
    StatusBatches batches(poster, sink);
    batches.start(
        { "127.0.0.1:1", liveAddress, "not an/address", missingAddress, "[::1]:1" }, true);
    Posted posted = take(poster, sink, 6);
    ASSERT_EQ(posted.results.size(), 5u);
    EXPECT_EQ(posted.order.back(), "summary");
    std::vector<std::string> messages;
    for (const ActionResult& result : posted.results)
        messages.push_back(result.deviceIp + " " + result.message);
    EXPECT_EQ(messages,
        std::vector<std::string>({ "127.0.0.1:1 Failed to send status request (libcurl 7)",
            liveAddress + " Status retrieved successfully",
            "not an/address Failed to connect to device",
            missingAddress + " Status request failed with HTTP 404",
            "[::1]:1 Failed to send status request (libcurl 7)" }));
    EXPECT_EQ(posted.results[1].action, "native_actionGetStatus");
    EXPECT_TRUE(posted.results[1].success);
    EXPECT_EQ(posted.summaries[0].succeeded, 1);
    EXPECT_EQ(posted.summaries[0].failed, 4);
}

TEST(StatusBatches, EmptyListsAndSingleRequests)
{
    FakeMainLoopPoster poster;
    RecordingSink sink;
    auto reader = [](const std::string&, const std::atomic<bool>&) {
        return StatusReading { false, -1, "unused", {} };
    };
    StatusBatches batches(poster, sink, reader);
    batches.start({ " ", "" }, true);
    Posted batch = take(poster, sink, 2);
    EXPECT_EQ(batch.order, std::vector<std::string>({ "result ", "summary" }));
    EXPECT_EQ(batch.results[0].message, "Missing device IP");
    EXPECT_EQ(batch.summaries[0].total, 0);

    batches.start({ "" }, false);
    Posted single = take(poster, sink, 3);
    EXPECT_EQ(single.order, std::vector<std::string>({ "result " }));
}

TEST(StatusBatches, ClosingAbandonsReadsStillWaitingAndPostsNothingMore)
{
    FakeMainLoopPoster poster;
    RecordingSink sink;
    auto reader = [](const std::string&, const std::atomic<bool>& abandon) {
        while (!abandon)
            std::this_thread::sleep_for(1ms);
        return StatusReading { true, 0, "late", {} };
    };
    auto started = std::chrono::steady_clock::now();
    {
        StatusBatches batches(poster, sink, reader);
        batches.start({ "127.0.0.1", "127.0.0.2" }, true);
        batches.start({ "127.0.0.3" }, false);
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(poster.takeAfterAttempts(0).empty());
}
