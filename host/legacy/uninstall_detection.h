// Finding the legacy tool's installation by its uninstall entry in the registry.
#pragma once

#include "host/legacy/wine_registry.h"

#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

inline constexpr std::string_view kLegacyProductKeyName = "{97A0355E-6469-4730-9181-AE9D840077D2}";

enum class RegistryView { Bits64, Bits32 };

// Each field keeps the first non-empty value offered.
struct LegacyInstall {
    std::string uninstallCommand;
    std::string displayName;
    void offer(std::string_view name, std::string_view command);
};

std::string_view uninstallKeyPath(RegistryView view);
// A plain or expandable string that is not empty up to its first NUL; not expanded.
std::optional<std::string> readRegistryText(const RegistryKey& key, std::string_view valueName);
bool isLegacyDisplayName(std::string_view name);
void scanUninstallKeys(const RegistryHive& root, RegistryView view, LegacyInstall& found);

// Current user 64-bit, current user 32-bit, local machine 64-bit, local machine 32-bit.
LegacyInstall detectLegacyInstall(
    const RegistryHive& currentUser, const RegistryHive& localMachine);

} // namespace kovrkit
