// Any bytes as the sites tree in both its forms, through the functions the store uses:
// - as the text of "settings.json" (a stored nested tree or an earlier host's node map under
//   "sitesData"), and as that member's value alone, read as a load reads them;
// - as the node-map document of a save, converted and written over the same bytes taken as
//   the old settings file.
// - as the old tree a save replaces, judged while it is read.
// A load serves a valid node map that saves and loads again as the same text; a save writes a
// settings text that loads as the saved tree and agrees with the JSON library's serialisation;
// the judge of the old tree approves only what the general check accepts.
#include "fuzz/sites_expansion.h"
#include "host/sites/settings_file.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_store.h"
#include "host/sites/sites_text.h"
#include "host/sites/sites_tree.h"
#include "host/sites/stored_sites_judge.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace kovrkit;
using nlohmann::json;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// Node maps that expand beyond this many folders and devices are left out.
constexpr std::size_t kLargestExpansion = 20000;

// What the store writes for a saved tree over the old settings text.
std::string savedSettings(const std::string& oldSettings, const FolderEntry& tree)
{
    return settingsTextWithMember(
        oldSettings, "sitesData", [&tree](std::string& out, std::size_t indent) {
            appendStoredSitesText(out, tree, indent);
        });
}

void checkSave(const std::string& oldSettings, const json& document)
{
    if (kovru_fuzz::expandsBeyond(document, kLargestExpansion))
        return;
    const auto map = nodeMapFromJson(document);
    const auto tree = map ? convertNodeMap(*map) : std::nullopt;
    check(tree.has_value() == documentToStored(document).has_value());
    if (!tree)
        return;
    check(nodeMapText(*tree) == nodeMapJson(*tree).dump());
    std::string stored;
    appendStoredSitesText(stored, *tree, 0);
    check(stored == serializeSettings(storedJson(*tree)));

    const std::string settings = savedSettings(oldSettings, *tree);
    check(parseSettingsText(settings).has_value());
    const auto loaded = documentTextFromSettings(settings);
    check(loaded && *loaded == nodeMapText(*tree));
}

void checkLoad(const std::string& settingsText)
{
    const auto loaded = documentTextFromSettings(settingsText);
    if (!loaded)
        return;
    const json document = json::parse(*loaded, nullptr, false);
    check(isValidSitesDocument(document));
    if (kovru_fuzz::expandsBeyond(document, kLargestExpansion))
        return;
    // What the UI gets it may save again; a tree read from the nested form comes back the same.
    const auto map = nodeMapFromJson(document);
    const auto tree = map ? convertNodeMap(*map) : std::nullopt;
    if (const auto sites = parseSettingsMember(settingsText, "sitesData");
        sites && !isValidSitesDocument(*sites)) {
        check(tree && *tree == *folderTreeFromJson(*sites));
    }
}

void checkJudge(const std::string& settingsText)
{
    const auto judge = storedSitesJudge();
    if (!parseSettingsJudgingMember(settingsText, "sitesData", *judge))
        return;
    const auto settings = parseSettingsText(settingsText);
    check(settings.has_value());
    const auto sites = settings->find("sitesData");
    check(sites == settings->end() || isValidStoredSites(*sites));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkLoad(text);
    checkLoad("{\"sitesData\":" + text + "}");
    checkJudge(text);
    checkJudge("{\"sitesData\":" + text + "}");
    const json document = json::parse(text, nullptr, false, false);
    if (!document.is_discarded())
        checkSave(text, document);
    return 0;
}
