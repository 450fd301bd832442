#include "cli/controller_api/status_document.h"

#include "cli/json/json_pull.h"

namespace kovru {
namespace {

// Skips the rest of a nested object or array whose start token was just read.
bool skip_nested(JsonPullReader& reader)
{
    int depth = 1;
    while (depth > 0) {
        switch (reader.next()) {
        case JsonToken::object_start:
        case JsonToken::array_start:
            ++depth;
            break;
        case JsonToken::object_end:
        case JsonToken::array_end:
            --depth;
            break;
        case JsonToken::end:
        case JsonToken::error:
            return false;
        default:
            break;
        }
    }
    return true;
}

} // namespace

// Reads the string members of the top-level object. Members of other types take their key
// with them, and nested values are skipped whole, so they never shift the key/value pairing.
bool read_status_document(std::string_view body, ControllerStatus& status)
{
    // The controller's document ends at its first NUL, as a C string would.
    body = body.substr(0, body.find('\0'));
    JsonPullReader reader(body);
    if (reader.next() != JsonToken::object_start)
        return false;
    std::optional<std::string> pending_key;
    for (;;) {
        JsonToken token = reader.next();
        if (token == JsonToken::end || token == JsonToken::error || token == JsonToken::object_end)
            break;
        if (token == JsonToken::string && !pending_key) {
            pending_key = reader.text();
            continue;
        }
        if (token == JsonToken::string) {
            if (std::optional<std::string>* field = status.find(*pending_key))
                *field = reader.text();
        } else if (token == JsonToken::object_start || token == JsonToken::array_start) {
            if (!skip_nested(reader))
                break;
        }
        pending_key.reset();
    }
    return status.model_name().has_value();
}

} // namespace kovru
