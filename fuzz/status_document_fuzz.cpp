// Any bytes as the controller's status document: read as get_status and the firmware
// upgrade's check read it. The answer is true exactly when a model name was kept, and no
// kept text is longer than the document.
#include "cli/controller_api/status_document.h"
#include "fuzz/program_output.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kovru::ControllerStatus status;
    const bool read = kovru::read_status_document(
        std::string_view(reinterpret_cast<const char*>(data), size), status);
    if (read != status.model_name().has_value())
        std::abort();
    for (const auto& value : status.values)
        if (value && value->size() > size)
            std::abort();
    return 0;
}
