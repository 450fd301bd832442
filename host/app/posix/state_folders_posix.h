// The start-up facts of the state folder choice, read from this machine, and the folders made.
#pragma once

#include "host/app/state_folders.h"

#include <string>

namespace kovrkit {

StateFolderFacts readStateFolderFacts(const std::string& programDirectory);

// Creates whatever is missing of both folders, new ones private to the user (0700).
// False when a folder cannot be made; the host goes on and reports failed saves.
bool createStateFolders(const StateFolders& folders);

} // namespace kovrkit
