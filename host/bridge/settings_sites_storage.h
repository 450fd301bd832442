#pragma once

#include "host/bridge/sites_storage.h"
#include "host/sites/sites_store.h"

namespace kovrkit {

// The sites tree kept in "settings.json" by the sites store.
class SettingsSitesStorage final : public SitesStorage {
public:
    explicit SettingsSitesStorage(const SitesStore& store)
        : store_(store)
    {
    }

    std::string loadSitesDocument() override { return store_.loadSitesDocument(); }
    LoadedSites loadSites() override { return store_.loadSites(); }
    SaveOutcome saveSitesDocument(const nlohmann::json& sitesData) override
    {
        return store_.saveSitesDocument(sitesData);
    }

private:
    const SitesStore& store_;
};

} // namespace kovrkit
