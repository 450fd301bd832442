// What a controller answers to each HTTP request of its "/api/v100" interface.
#pragma once

#include "sim/controller.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kovru::sim {

struct HttpRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> query;
};

struct HttpAnswer {
    int status = 200;
    std::string content_type = "application/json";
    std::string body;
    bool drop_connection = false; // close without any answer
};

// The request line of a request head ("GET /path?a=b HTTP/1.1"); nullopt when malformed.
std::optional<HttpRequest> parse_request_head(std::string_view head);

HttpAnswer answer_request(Controller& controller, const HttpRequest& request);

const char* http_reason(int status);

} // namespace kovru::sim
