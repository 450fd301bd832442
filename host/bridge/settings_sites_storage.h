#pragma once

#include "host/bridge/host_services.h"
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
    bool saveSitesDocument(const std::string& sitesDocumentJson) override
    {
        return store_.saveSitesDocument(std::string_view(sitesDocumentJson));
    }

private:
    const SitesStore& store_;
};

} // namespace kovrkit
