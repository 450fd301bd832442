#pragma once

#include "host/actions/device_actions.h"
#include "host/bridge/sites_storage.h"
#include "host/platform/main_loop_poster.h"
#include "host/platform/url_opener.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kovrkit::testing {

class FakeUrlOpener final : public UrlOpener {
public:
    bool openInBrowser(const std::string& url) override
    {
        opened.push_back(url);
        return succeeds;
    }
    std::vector<std::string> opened;
    bool succeeds = true;
};

// Keeps the saved documents as compact text and serves a fixed document.
class FakeSitesStorage final : public SitesStorage {
public:
    std::string loadSitesDocument() override { return document; }
    SaveOutcome saveSitesDocument(const nlohmann::json& sitesData) override
    {
        saved.push_back(sitesData.dump());
        if (acceptsSaves)
            return { true, {} };
        return { false, std::string(kUnsavedSitesMessage) };
    }
    std::string document = R"({"nodes":{},"rootId":"root","version":1})";
    std::vector<std::string> saved;
    bool acceptsSaves = true;
};

// Records how the dispatcher routed each device command.
class FakeDeviceActions final : public DeviceActions {
public:
    void runSingle(const std::string& action, const std::string& address) override
    {
        calls.push_back("single " + action + " [" + address + "]");
    }
    void runBatch(const std::string& action, const std::vector<std::string>& addresses) override
    {
        calls.push_back("batch " + action + " " + join(addresses));
    }
    void startStatus(std::vector<std::string> addresses, bool wantSummary) override
    {
        calls.push_back(std::string("status ") + (wantSummary ? "summary " : "") + join(addresses));
    }
    std::vector<std::string> calls;

private:
    static std::string join(const std::vector<std::string>& addresses)
    {
        std::string text;
        for (const std::string& address : addresses)
            text += "[" + address + "]";
        return text;
    }
};

// Keeps posted tasks until the test runs them, like a main loop that has not run yet.
// Workers post from their own threads.
class FakeMainLoopPoster final : public MainLoopPoster {
public:
    bool post(Task task) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++attempts_;
        if (accepts)
            posted_.push_back(std::move(task));
        changed_.notify_all();
        return accepts;
    }

    // Waits (at most a minute) until `count` posts were attempted, then takes what was posted.
    std::vector<Task> takeAfterAttempts(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::minutes(1), [&] { return attempts_ >= count; });
        return std::exchange(posted_, {});
    }

    std::atomic<bool> accepts = true;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t attempts_ = 0;
    std::vector<Task> posted_;
};

} // namespace kovrkit::testing
