#include "host/legacy/uninstall_detection.h"

namespace kovrkit {

namespace {

// Enumeration stops at a name that does not fit the registry's 256-character buffer.
constexpr std::size_t kSubKeyNameBuffer = 256;

} // namespace

void LegacyInstall::offer(std::string_view name, std::string_view command)
{
    if (uninstallCommand.empty())
        uninstallCommand = command;
    if (displayName.empty())
        displayName = name;
}

std::string_view uninstallKeyPath(RegistryView view)
{
    return view == RegistryView::Bits64
        ? "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
        : "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
}

std::optional<std::string> readRegistryText(const RegistryKey& key, std::string_view valueName)
{
    auto value = key.values.find(lowerAscii(valueName));
    if (value == key.values.end() || value->second.type == RegistryValueType::Other)
        return std::nullopt;
    const std::string& stored = value->second.text;
    std::string text = stored.substr(0, stored.find('\0'));
    if (text.empty())
        return std::nullopt;
    return text;
}

bool isLegacyDisplayName(std::string_view name)
{
    const std::string lower = lowerAscii(name);
    return lower == "torvane veldir tool" || lower == "veldir tool";
}

void scanUninstallKeys(const RegistryHive& root, RegistryView view, LegacyInstall& found)
{
    const std::string path(uninstallKeyPath(view));
    if (!root.findKey(path) && root.subKeyNames(path).empty())
        return;
    for (const std::string& name : root.subKeyNames(path)) {
        if (name.size() >= kSubKeyNameBuffer)
            return;
        const RegistryKey* entry = root.findKey(path + "\\" + name);
        if (!entry)
            continue;
        std::string displayName = readRegistryText(*entry, "DisplayName").value_or("");
        if (lowerAscii(name) != lowerAscii(kLegacyProductKeyName)
            && !isLegacyDisplayName(displayName))
            continue;
        std::optional<std::string> command = readRegistryText(*entry, "QuietUninstallString");
        if (!command)
            command = readRegistryText(*entry, "UninstallString");
        found.offer(displayName, command.value_or(""));
    }
}

LegacyInstall detectLegacyInstall(const RegistryHive& currentUser, const RegistryHive& localMachine)
{
    LegacyInstall found;
    scanUninstallKeys(currentUser, RegistryView::Bits64, found);
    scanUninstallKeys(currentUser, RegistryView::Bits32, found);
    scanUninstallKeys(localMachine, RegistryView::Bits64, found);
    scanUninstallKeys(localMachine, RegistryView::Bits32, found);
    return found;
}

} // namespace kovrkit
