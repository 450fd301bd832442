#include "fakes/fake_dialogs.h"
#include "fakes/fake_host_services.h"
#include "fakes/fake_temp_folder.h"
#include "host/bridge/file_commands.h"
#include "host/bridge/json_text.h"
#include "host/bridge/pickers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

using namespace kovrkit;
using namespace kovrkit::testing;

namespace {

class CsvExportTest : public ::testing::Test {
protected:
    TempFolder folder;
    FakeDialogs dialogs;
};

TEST_F(CsvExportTest, EmptyTextShowsNoDialog)
{
    CommandOutcome outcome = exportSitesCsv(dialogs, "");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message, "No CSV content to export");
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(CsvExportTest, CancelledDialogWritesNothing)
{
    CommandOutcome outcome = exportSitesCsv(dialogs, "a,b\n");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message, "CSV export cancelled");
    EXPECT_EQ(outcome.value, "");
    ASSERT_EQ(dialogs.lastRequest.filters.size(), 2u);
    EXPECT_EQ(dialogs.lastRequest.filters[0].name, "CSV Files (*.csv)");
    EXPECT_EQ(dialogs.lastRequest.filters[0].pattern, "*.csv");
    EXPECT_EQ(dialogs.lastRequest.filters[1].name, "All Files (*.*)");
    EXPECT_EQ(dialogs.lastRequest.initialName, "sites.csv");
}

TEST_F(CsvExportTest, WritesUtf8WithoutByteOrderMarkAndImportsItBack)
{
    const std::string text = "name,ip\r\nHalle Süd,10.0.0.1\r\n\"Zürich \"\"Nord\"\"\",10.0.0.2";
    dialogs.paths = { folder.file("out.csv"), folder.file("out.csv") };
    CommandOutcome exported = exportSitesCsv(dialogs, text);
    EXPECT_TRUE(exported.success);
    EXPECT_EQ(exported.message, "CSV exported");
    EXPECT_EQ(exported.value, folder.file("out.csv"));
    EXPECT_EQ(folder.read("out.csv"), text);

    CommandOutcome imported = importSitesCsv(dialogs);
    EXPECT_TRUE(imported.success);
    EXPECT_EQ(imported.message, "CSV imported");
    EXPECT_EQ(imported.value, text);
}

TEST_F(CsvExportTest, NameWithoutExtensionGetsCsvAppended)
{
    dialogs.paths = { folder.file("plant") };
    CommandOutcome outcome = exportSitesCsv(dialogs, "x");
    EXPECT_EQ(outcome.value, folder.file("plant.csv"));
    EXPECT_EQ(folder.read("plant.csv"), "x");
    EXPECT_FALSE(std::filesystem::exists(folder.file("plant")));
}

TEST_F(CsvExportTest, ExistingFileIsReplacedWholeOnlyAfterConfirmation)
{
    folder.write("sites.csv", "a much longer old content that must disappear");
    dialogs.paths = { folder.file("sites.csv"), folder.file("sites") };
    dialogs.yesNoAnswers = { false, true };

    CommandOutcome declined = exportSitesCsv(dialogs, "new");
    EXPECT_FALSE(declined.success);
    EXPECT_EQ(declined.message, "CSV export cancelled");
    EXPECT_EQ(folder.read("sites.csv"), "a much longer old content that must disappear");
    EXPECT_EQ(dialogs.asked[1],
        "question:Confirm Save As:sites.csv already exists.\nDo you want to replace it?:no");

    CommandOutcome confirmed = exportSitesCsv(dialogs, "new");
    EXPECT_TRUE(confirmed.success);
    EXPECT_EQ(folder.read("sites.csv"), "new");
    // Nothing but the exported file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST_F(CsvExportTest, UnwritableDestinationReportsThePath)
{
    std::string path = folder.file("missing/sites.csv");
    dialogs.paths = { path };
    CommandOutcome outcome = exportSitesCsv(dialogs, "x");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message, "Failed to write CSV file");
    EXPECT_EQ(outcome.value, path);
}

TEST(CsvImport, ReportsCancelMissingAndEmptyFilesAndKeepsTheByteOrderMark)
{
    TempFolder folder;
    FakeDialogs dialogs;
    folder.write("empty.csv", "");
    folder.write("bom.csv", "\xEF\xBB\xBFname\n");
    folder.write("large.csv", std::string((4 << 20) + 1, 'x'));
    dialogs.paths = { std::nullopt, folder.file("none.csv"), folder.file("empty.csv"),
        folder.path().string(), folder.file("bom.csv"), folder.file("large.csv"), "/dev/zero" };

    auto expect = [&](bool success, const char* message, const std::string& content) {
        CommandOutcome outcome = importSitesCsv(dialogs);
        EXPECT_EQ(outcome.success, success);
        EXPECT_EQ(outcome.message, message);
        EXPECT_EQ(outcome.value, content);
    };
    expect(false, "CSV import cancelled", "");
    expect(false, "Failed to read CSV file", "");
    expect(false, "CSV file is empty", "");
    expect(false, "Failed to read CSV file", "");
    expect(true, "CSV imported", "\xEF\xBB\xBFname\n");
    expect(false, "Failed to read CSV file (more than 4194304 bytes)", "");
    expect(false, "Failed to read CSV file", "");
}

TEST(OpenExternalUrl, AcceptsOnlyHttpAndHttpsTrimmedWithCaseKept)
{
    FakeUrlOpener opener;
    auto message = [&](const std::string& url) { return openExternalUrl(opener, url).message; };
    EXPECT_EQ(message(""), "Missing URL");
    EXPECT_EQ(message(" \t\r\n"), "Missing URL");
    for (const char* refused : { "ftp://host/file", "mailto:a@b.c", "javascript:alert(1)",
             "file:///etc/passwd", "www.example.com", "http:/x", " httpx://a" }) {
        EXPECT_EQ(message(refused), "Only HTTP and HTTPS URLs are supported") << refused;
    }
    EXPECT_TRUE(opener.opened.empty());

    CommandOutcome opened = openExternalUrl(opener, "  HTTPS://Example.COM/Path?q=1 \n");
    EXPECT_TRUE(opened.success);
    EXPECT_EQ(opened.message, "Opened in browser");
    EXPECT_EQ(message("Http://a"), "Opened in browser");
    EXPECT_EQ(
        opener.opened, std::vector<std::string>({ "HTTPS://Example.COM/Path?q=1", "Http://a" }));

    opener.succeeds = false;
    EXPECT_EQ(message("http://a"), "Failed to open URL in browser");
}

TEST(Pickers, UseTheirTitlesAndFiltersAndTreatAnEmptyFolderAsCancel)
{
    FakeDialogs dialogs;
    dialogs.paths = { "", "/srv/backups", "/tmp/a.zip", "/tmp/f.bin" };
    EXPECT_FALSE(pickBackupFolder(dialogs));
    EXPECT_EQ(pickBackupFolder(dialogs), "/srv/backups");
    EXPECT_EQ(dialogs.asked[0], "folder:Select backup destination folder");
    EXPECT_EQ(pickRestoreArchive(dialogs), "/tmp/a.zip");
    EXPECT_EQ(dialogs.lastRequest.filters[0].name, "ZIP Files (*.zip)");
    EXPECT_EQ(pickFirmwareFile(dialogs), "/tmp/f.bin");
    EXPECT_EQ(dialogs.lastRequest.filters[0].pattern, "*.bin");
    EXPECT_FALSE(pickFirmwareFile(dialogs));
}

TEST(EscapeJsonText, EscapesControlsAndReplacesBrokenUtf8)
{
    EXPECT_EQ(escapeJsonText("a\"b\\c\td\ne\rf"), "a\\\"b\\\\c\\td\\ne\\rf");
    EXPECT_EQ(escapeJsonText(std::string("\x00\x01\x1f\x7f", 4)), "\\u0000\\u0001\\u001f\x7f");
    EXPECT_EQ(escapeJsonText("ä€😀"), "ä€😀");
    EXPECT_EQ(escapeJsonText("a\xFF"
                             "b"),
        "a\xEF\xBF\xBD"
        "b");
    EXPECT_EQ(escapeJsonText("\xC3"), "\xEF\xBF\xBD"); // cut short at the end
    EXPECT_EQ(escapeJsonText("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD"); // cut short at the end
    EXPECT_EQ(escapeJsonText("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD"); // overlong
    EXPECT_EQ(escapeJsonText("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"); // surrogate
    std::string wrapped = "\"" + escapeJsonText("x\x02\xF5y\n") + "\"";
    EXPECT_FALSE(nlohmann::json::parse(wrapped, nullptr, false).is_discarded());
}

} // namespace
