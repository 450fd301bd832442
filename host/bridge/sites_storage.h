#pragma once

#include "host/sites/sites_store.h"

#include <nlohmann/json.hpp>

#include <string>

namespace kovrkit {

// The sites tree as the UI exchanges it: node-map JSON text out, the parsed node map in.
class SitesStorage {
public:
    virtual ~SitesStorage() = default;
    virtual std::string loadSitesDocument() = 0;
    // The document with the notice a load gives when the stored settings cannot be used.
    virtual LoadedSites loadSites() { return { loadSitesDocument(), {} }; }
    virtual SaveOutcome saveSitesDocument(const nlohmann::json& sitesData) = 0;
};

} // namespace kovrkit
