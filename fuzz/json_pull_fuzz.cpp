// Any bytes as JSON text: the reader yields tokens and ends in end or error, never more
// tokens than bytes plus one.
#include "cli/json/json_pull.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kovru::JsonPullReader reader(std::string_view(reinterpret_cast<const char*>(data), size));
    for (std::size_t tokens = 0;; ++tokens) {
        const kovru::JsonToken token = reader.next();
        if (token == kovru::JsonToken::end || token == kovru::JsonToken::error) {
            break;
        }
        if (tokens > size + 1) {
            std::abort();
        }
        (void)reader.text();
    }
    return 0;
}
