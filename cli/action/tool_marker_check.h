// Whether a backup's "tool.txt" names this tool at a version it can restore (1.4.1 or older).
#pragma once

#include <string_view>

namespace kovru {

bool tool_marker_accepted(std::string_view marker_text);

} // namespace kovru
