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
    virtual SaveOutcome saveSitesDocument(const nlohmann::json& sitesData) = 0;
};

} // namespace kovrkit
