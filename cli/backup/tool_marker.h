// "tool.txt": the marker a backup archive carries naming the tool version that made it.
#pragma once

#include <string_view>

namespace kovru {

inline constexpr std::string_view kToolMarkerName = "tool.txt";

inline constexpr std::string_view kToolMarkerText = "{\n"
                                                    "  \"tool_name\": \"kovru-cli\",\n"
                                                    "  \"version_major\": 1,\n"
                                                    "  \"version_minor\": 4,\n"
                                                    "  \"version_revision\": 1,\n"
                                                    "  \"version_string\": \"1.4.1\"\n"
                                                    "}\n";

static_assert(kToolMarkerText.size() == 129);

} // namespace kovru
