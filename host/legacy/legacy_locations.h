#pragma once

#include <filesystem>

namespace kovrkit {

// Where a Windows program's data and registry live for this user: the Local AppData folder
// (empty when unknown) and the hive files of the current user and the local machine.
struct LegacyLocations {
    std::filesystem::path localAppData;
    std::filesystem::path currentUserRegistry;
    std::filesystem::path localMachineRegistry;
};

} // namespace kovrkit
