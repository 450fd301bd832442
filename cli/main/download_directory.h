// The user's download folder, where the safety backup goes.
#pragma once

#include <optional>
#include <string>

namespace kovru {

// XDG_DOWNLOAD_DIR from "$XDG_CONFIG_HOME/user-dirs.dirs" (default "$HOME/.config"), else
// "$HOME/Downloads"; unknown when HOME is unset or empty.
std::optional<std::string> user_download_directory();

} // namespace kovru
