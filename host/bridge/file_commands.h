#pragma once

#include "host/platform/dialogs.h"
#include "host/platform/url_opener.h"

#include <string>

namespace kovrkit {

struct CommandOutcome {
    bool success = false;
    std::string message;
    std::string value; // the exported path, or the imported CSV text
};

// Save dialog for "sites.csv" and an atomic write of the text, UTF-8 without byte-order mark.
CommandOutcome exportSitesCsv(Dialogs& dialogs, const std::string& csvContent);

// Open dialog and a read of the whole file; a byte-order mark stays at the start of the text.
CommandOutcome importSitesCsv(Dialogs& dialogs);

// Opens an http or https link, trimmed, in the user's browser.
CommandOutcome openExternalUrl(UrlOpener& opener, const std::string& url);

// The path the export writes to: ".csv" added when the chosen name has no extension, and
// an existing file replaced only when the user agrees. Nothing when the user declines.
std::optional<std::string> confirmCsvSavePath(Dialogs& dialogs, std::string chosenPath);

} // namespace kovrkit
