#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kovrkit {

// The outcome of one status read: code 0 on success, the HTTP status where one came back
// before the failure, else -1. `fields` is the seven-member object, members sorted by name.
struct StatusReading {
    bool ok = false;
    int32_t code = -1;
    std::string message;
    nlohmann::json fields;
};

// model_name, modelName and Model-Name all become "modelname".
std::string normaliseStatusKey(std::string_view key);

// The body as a JSON object, else the text from its first "{" to its last "}" as one.
std::optional<nlohmann::json> findStatusObject(std::string_view body);

// The seven fields looked up under their aliases in the flattened document: the "status"
// member first when it is an object, then the whole document.
nlohmann::json statusFieldsOf(const nlohmann::json& document);

// The reading of a 2xx answer's body.
StatusReading readStatusBody(int32_t httpStatus, std::string_view body);

} // namespace kovrkit
