// Any bytes as a backup's "tool.txt": the restore's check accepts them only when they name
// this tool; the marker this tool writes is always accepted.
#include "cli/action/tool_marker_check.h"
#include "cli/backup/tool_marker.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!kovru::tool_marker_accepted(kovru::kToolMarkerText))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (kovru::tool_marker_accepted(text) && text.find("kovru-cli") == std::string_view::npos)
        std::abort();
    return 0;
}
