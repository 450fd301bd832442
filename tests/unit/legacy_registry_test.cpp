// Uninstall entries read from a Wine prefix's registry files, and the uninstall command line
// split into words as Windows splits it.
#include "host/legacy/uninstall_detection.h"
#include "host/legacy/windows_command_line.h"
#include "host/legacy/wine_registry.h"

#include <gtest/gtest.h>

using namespace kovrkit;

namespace {

// In Wine's own format: escaped key paths, \" and \\ in strings, \x escapes for non-ASCII,
// a default value, a number, an expandable string and a wrapped UTF-16 hex value.
const char* kUserHive = R"(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other App] 1700000000
#time=1da1b2c3d4e5f60
@="default"
"DisplayName"="veldir tool"
"QuietUninstallString"=""
"UninstallString"="\"C:\\Program Files\\VELDIR\\unins000.exe\" /SILENT"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other App\\Nested] 1700000000
"DisplayName"="VELDIR Tool"
"UninstallString"="nested.exe"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Caf\x00e9] 1700000000
"DisplayName"="Caf\x00e9 \"Noir\"\tTool"
"Size"=dword:00000010

[Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{97a0355e-6469-4730-9181-ae9d840077d2}] 1700000000
"DisplayName"="Something Else"
"QuietUninstallString"=str(2):"%ProgramFiles%\\VELDIR\\unins000.exe /VERYSILENT"
"Comment"=hex(2):41,00,42,00,\
  43,00,00,00
)";

const char* kMachineHive = R"(WINE REGISTRY Version 2
;; All keys relative to \\Machine

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TORVANE VELDIR Tool Suite] 1700000000
"DisplayName"="TORVANE VELDIR Tool Suite"
"UninstallString"="suite.exe"

[Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Legacy] 1700000000
"DisplayName"="TORVANE VELDIR TOOL"
"DisplayVersion"=dword:00000001
"UninstallString"="machine.exe"
)";

} // namespace

TEST(LegacyRegistry, WineHiveTextIsReadWithItsEscapes)
{
    RegistryHive hive = RegistryHive::parse(kUserHive);
    const std::string uninstall = "software\\MICROSOFT\\Windows\\CurrentVersion\\Uninstall";
    EXPECT_EQ(hive.subKeyNames(uninstall), std::vector<std::string>({ "Café", "Other App" }));
    const RegistryKey* other = hive.findKey(uninstall + "\\other app");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(readRegistryText(*other, "uninstallstring"),
        "\"C:\\Program Files\\VELDIR\\unins000.exe\" /SILENT");
    EXPECT_EQ(readRegistryText(*other, ""), "default");
    EXPECT_EQ(readRegistryText(*other, "QuietUninstallString"), std::nullopt) << "empty";
    const RegistryKey* cafe = hive.findKey(uninstall + "\\Café");
    ASSERT_NE(cafe, nullptr);
    EXPECT_EQ(readRegistryText(*cafe, "DisplayName"), "Café \"Noir\"\tTool");
    EXPECT_EQ(readRegistryText(*cafe, "Size"), std::nullopt) << "not a string";
    const RegistryKey* product
        = hive.findKey("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{"
                       "97A0355E-6469-4730-9181-AE9D840077D2}");
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(readRegistryText(*product, "QuietUninstallString"),
        "%ProgramFiles%\\VELDIR\\unins000.exe /VERYSILENT")
        << "expandable strings are not expanded";
    EXPECT_EQ(readRegistryText(*product, "Comment"), "ABC") << "up to the first NUL";
}

TEST(LegacyRegistry, EachFieldTakesTheFirstValueInViewOrder)
{
    // Current user, 64-bit view: matched by its display name (the short name in lower case);
    // its quiet command is empty, so the plain one counts. The nested key is not an entry of
    // the uninstall key, and "Something Else" under the product key does not override.
    LegacyInstall found
        = detectLegacyInstall(RegistryHive::parse(kUserHive), RegistryHive::parse(kMachineHive));
    EXPECT_EQ(found.uninstallCommand, "\"C:\\Program Files\\VELDIR\\unins000.exe\" /SILENT");
    EXPECT_EQ(found.displayName, "veldir tool");

    // Without the current user's 64-bit entry: the product key (matched by its name alone)
    // gives the command, and the name comes from the machine's 32-bit view, since
    // "TORVANE VELDIR Tool Suite" is no legacy name.
    std::string userWithoutFirst = kUserHive;
    userWithoutFirst.replace(userWithoutFirst.find("\"DisplayName\"=\"veldir tool\""), 27,
        "\"DisplayName\"=\"veldir tools\"");
    found = detectLegacyInstall(
        RegistryHive::parse(userWithoutFirst), RegistryHive::parse(kMachineHive));
    EXPECT_EQ(found.uninstallCommand, "%ProgramFiles%\\VELDIR\\unins000.exe /VERYSILENT");
    EXPECT_EQ(found.displayName, "Something Else");

    found = detectLegacyInstall(RegistryHive::parse(""), RegistryHive::parse(kMachineHive));
    EXPECT_EQ(found.uninstallCommand, "machine.exe");
    EXPECT_EQ(found.displayName, "TORVANE VELDIR TOOL");
    EXPECT_EQ(detectLegacyInstall(RegistryHive::load("/nonexistent/user.reg"), RegistryHive {})
                  .displayName,
        "");
}

TEST(LegacyRegistry, CommandLineSplitsTheWindowsWay)
{
    EXPECT_EQ(
        splitWindowsCommandLine(
            R"(  "C:\Program Files\VELDIR\unins000.exe" /SILENT "/LOG=C:\a b\x.log" a\\\"b c\\\\"d e" "" x""y)"),
        std::vector<std::string>({ R"(C:\Program Files\VELDIR\unins000.exe)", "/SILENT",
            R"(/LOG=C:\a b\x.log)", R"(a\"b)", R"(c\\d e)", "", "xy" }));
    EXPECT_EQ(splitWindowsCommandLine(R"(C:\VELDIR\unins000.exe)"),
        std::vector<std::string>({ R"(C:\VELDIR\unins000.exe)" }));
    EXPECT_TRUE(splitWindowsCommandLine(" \t ").empty());
}
