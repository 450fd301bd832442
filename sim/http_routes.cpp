#include "sim/http_routes.h"

#include <nlohmann/json.hpp>

namespace kovru::sim {
namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percent_decode(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int high = hex_value(text[i + 1]);
            int low = hex_value(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i] == '+' ? ' ' : text[i];
    }
    return out;
}

std::map<std::string, std::string> parse_query(std::string_view query)
{
    std::map<std::string, std::string> members;
    while (!query.empty()) {
        std::size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        std::size_t equals = pair.find('=');
        std::string name = percent_decode(pair.substr(0, equals));
        std::string value
            = equals == std::string_view::npos ? "" : percent_decode(pair.substr(equals + 1));
        if (!name.empty())
            members.emplace(std::move(name), std::move(value));
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    }
    return members;
}

HttpAnswer json_answer(int status, const ActionAnswer& action)
{
    nlohmann::ordered_json body;
    body["result"] = action.accepted ? "ok" : "error";
    body["message"] = action.message;
    return { status, "application/json", body.dump(), false };
}

std::string member(const HttpRequest& request, const std::string& name)
{
    auto found = request.query.find(name);
    return found == request.query.end() ? std::string() : found->second;
}

HttpAnswer answer_status_request(Controller& controller, const HttpRequest& request)
{
    auto action = request.query.find("action");
    if (action == request.query.end())
        return { 200, "application/json", controller.status_document(), false };
    ActionAnswer result;
    if (action->second == "restoreconfig")
        result = controller.restore_upload();
    else if (action->second == "firmwareupgrade")
        result = controller.upgrade_firmware(member(request, "hash"), member(request, "size"));
    else if (action->second == "deviced2fwupgrade")
        result
            = controller.accept_device_firmware(member(request, "hash"), member(request, "size"));
    else
        return json_answer(400, { false, "unknown action" });
    controller.note(
        action->second + (result.accepted ? " accepted " : " refused ") + result.message);
    return json_answer(result.accepted ? 200 : 409, result);
}

HttpAnswer answer_backup_request(Controller& controller, const HttpRequest& request)
{
    std::string item = member(request, "config");
    if (controller.fail_item_attempt(item))
        return { 0, "", "", true };
    std::optional<std::vector<std::uint8_t>> image = controller.item_image(item);
    if (!image)
        return json_answer(404, { false, "unknown configuration item" });
    return { 200, "application/x-tar", std::string(image->begin(), image->end()), false };
}

} // namespace

std::optional<HttpRequest> parse_request_head(std::string_view head)
{
    std::string_view line = head.substr(0, head.find("\r\n"));
    std::size_t first_space = line.find(' ');
    if (first_space == std::string_view::npos)
        return std::nullopt;
    std::size_t second_space = line.find(' ', first_space + 1);
    if (second_space == std::string_view::npos || line.substr(second_space + 1).rfind("HTTP/", 0))
        return std::nullopt;
    HttpRequest request;
    request.method = line.substr(0, first_space);
    std::string_view target = line.substr(first_space + 1, second_space - first_space - 1);
    if (target.empty() || target[0] != '/')
        return std::nullopt;
    std::size_t question = target.find('?');
    request.path = percent_decode(target.substr(0, question));
    if (question != std::string_view::npos)
        request.query = parse_query(target.substr(question + 1));
    return request;
}

HttpAnswer answer_request(Controller& controller, const HttpRequest& request)
{
    if (request.method != "GET" && request.method != "HEAD")
        return json_answer(405, { false, "method not allowed" });
    if (request.path == "/api/v100/status.ssi")
        return answer_status_request(controller, request);
    if (request.path == "/api/v100/backup.ssi")
        return answer_backup_request(controller, request);
    return json_answer(404, { false, "not found" });
}

const char* http_reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace kovru::sim
