#include "host/bridge/file_commands.h"

#include "common/posix/input_file.h"
#include "host/bridge/payload.h"
#include "host/platform/file_access.h"

#include <algorithm>
#include <cctype>

namespace kovrkit {

static const FileDialogRequest& csvDialogSpec(bool forSaving)
{
    static const FileDialogRequest saveSpec {
        { { "CSV Files (*.csv)", "*.csv" }, { "All Files (*.*)", "*.*" } }, "sites.csv"
    };
    static const FileDialogRequest openSpec { saveSpec.filters, "" };
    return forSaving ? saveSpec : openSpec;
}

static bool nameHasExtension(const std::string& path)
{
    auto nameStart = path.find_last_of('/');
    std::string_view name
        = std::string_view(path).substr(nameStart == std::string::npos ? 0 : nameStart + 1);
    auto dot = name.find_last_of('.');
    return dot != std::string_view::npos && dot > 0 && dot + 1 < name.size();
}

static std::string fileNameOf(const std::string& path)
{
    auto nameStart = path.find_last_of('/');
    return nameStart == std::string::npos ? path : path.substr(nameStart + 1);
}

std::optional<std::string> confirmCsvSavePath(Dialogs& dialogs, std::string chosenPath)
{
    if (!nameHasExtension(chosenPath))
        chosenPath += ".csv";
    if (!fileExists(chosenPath))
        return chosenPath;
    std::string question = fileNameOf(chosenPath) + " already exists.\nDo you want to replace it?";
    if (!dialogs.askYesNo("Confirm Save As", question, false))
        return std::nullopt;
    return chosenPath;
}

CommandOutcome exportSitesCsv(Dialogs& dialogs, const std::string& csvContent)
{
    if (csvContent.empty())
        return { false, "No CSV content to export", "" };
    std::optional<std::string> chosen = dialogs.chooseSaveFile(csvDialogSpec(true));
    if (chosen)
        chosen = confirmCsvSavePath(dialogs, *chosen);
    if (!chosen)
        return { false, "CSV export cancelled", "" };
    if (!replaceFileAtomically(*chosen, csvContent))
        return { false, "Failed to write CSV file", *chosen };
    return { true, "CSV exported", *chosen };
}

CommandOutcome importSitesCsv(Dialogs& dialogs)
{
    std::optional<std::string> chosen = dialogs.chooseOpenFile(csvDialogSpec(false));
    if (!chosen)
        return { false, "CSV import cancelled", "" };
    std::string content;
    std::string refusal;
    if (!readWholeFile(*chosen, content, kCsvImportLimit, &refusal))
        return { false,
            refusal == kovru::too_large_refusal(kCsvImportLimit)
                ? "Failed to read CSV file (" + refusal + ")"
                : "Failed to read CSV file",
            "" };
    if (content.empty())
        return { false, "CSV file is empty", "" };
    return { true, "CSV imported", std::move(content) };
}

static bool startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix)
{
    if (text.size() < lowerPrefix.size())
        return false;
    return std::equal(
        lowerPrefix.begin(), lowerPrefix.end(), text.begin(), [](char expected, char actual) {
            return expected == static_cast<char>(std::tolower(static_cast<unsigned char>(actual)));
        });
}

CommandOutcome openExternalUrl(UrlOpener& opener, const std::string& url)
{
    std::string trimmed(trimWhiteSpace(url));
    if (trimmed.empty())
        return { false, "Missing URL", "" };
    if (!startsWithIgnoringCase(trimmed, "http://") && !startsWithIgnoringCase(trimmed, "https://"))
        return { false, "Only HTTP and HTTPS URLs are supported", "" };
    if (!opener.openInBrowser(trimmed))
        return { false, "Failed to open URL in browser", "" };
    return { true, "Opened in browser", "" };
}

} // namespace kovrkit
