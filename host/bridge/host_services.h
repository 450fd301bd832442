#pragma once

#include <string>
#include <vector>

namespace kovrkit {

// The sites tree as the UI exchanges it: node-map JSON text in, node-map JSON text out.
class SitesStorage {
public:
    virtual ~SitesStorage() = default;
    virtual std::string loadSitesDocument() = 0;
    virtual bool saveSitesDocument(const std::string& sitesDocumentJson) = 0;
};

// The four device actions. Each reports through MessageBridge::postActionResult and
// postBatchSummary; status runs on a worker and reports through the host message poster.
class DeviceActions {
public:
    virtual ~DeviceActions() = default;
    virtual void runSingle(const std::string& action, const std::string& address) = 0;
    virtual void runBatch(const std::string& action, const std::vector<std::string>& addresses) = 0;
    virtual void startStatus(std::vector<std::string> addresses, bool wantSummary) = 0;
};

// The legacy migration commands; each sends its own messages through the bridge.
class LegacyFlow {
public:
    virtual ~LegacyFlow() = default;
    virtual void statusCheck() = 0;
    virtual void migrate() = 0;
    virtual void uninstall() = 0;
};

} // namespace kovrkit
