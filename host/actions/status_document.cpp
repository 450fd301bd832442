#include "host/actions/status_document.h"

#include <array>
#include <cctype>
#include <sstream>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kovrkit {

using nlohmann::json;

namespace {

struct FieldAliases {
    const char* field;
    std::vector<const char*> names;
};

const std::array<FieldAliases, 7>& fieldAliases()
{
    static const std::array<FieldAliases, 7> table { {
        { "model_name", { "model_name", "modelName", "model", "product_name", "productName" } },
        { "firmware_version",
            { "firmware_version", "firmwareVersion", "firmware", "fw_version", "fwVersion",
                "sw_version", "softwareVersion" } },
        { "serial_number",
            { "serial_number", "serialNumber", "serial", "serial_no", "serialNo", "sn" } },
        { "mac", { "mac", "mac_address", "macAddress", "mac_addr", "ethernet_mac", "eth_mac" } },
        { "time",
            { "time", "date_time", "dateTime", "current_time", "currentTime", "device_time" } },
        { "uptime",
            { "uptime", "up_time", "upTime", "uptime_seconds", "uptimeSeconds", "run_time",
                "runTime" } },
        { "bacnet_ip",
            { "bacnet_ip", "bacnetIp", "bacnet_ipv4", "bacnetAddress", "bacnet_address" } },
    } };
    return table;
}

using FlatIndex = std::unordered_map<std::string, std::string>;

std::optional<std::string> scalarText(const json& value)
{
    switch (value.type()) {
    case json::value_t::string:
        return value.get<std::string>();
    case json::value_t::boolean:
        return value.get<bool>() ? "true" : "false";
    case json::value_t::number_integer:
        return std::to_string(value.get<int64_t>());
    case json::value_t::number_unsigned:
        return std::to_string(value.get<uint64_t>());
    case json::value_t::number_float: {
        std::ostringstream text;
        text << value.get<double>();
        return text.str();
    }
    default:
        return std::nullopt;
    }
}

void storeFirstNonEmpty(FlatIndex& index, const std::string& key, std::string text)
{
    std::string& stored = index[key];
    if (stored.empty())
        stored = std::move(text);
}

// Depth first, members in ascending name order (the order nlohmann keeps them in). An explicit
// stack, so that a deeply nested document cannot exhaust the thread's stack.
void flatten(const json& root, FlatIndex& index)
{
    struct Frame {
        const json* container;
        json::const_iterator next;
    };
    std::vector<Frame> stack;
    if (root.is_structured())
        stack.push_back({ &root, root.cbegin() });
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.container->cend()) {
            stack.pop_back();
            continue;
        }
        json::const_iterator member = frame.next++;
        const json& value = member.value();
        if (value.is_structured()) {
            stack.push_back({ &value, value.cbegin() });
            continue;
        }
        if (!frame.container->is_object())
            continue;
        std::string key = normaliseStatusKey(member.key());
        if (key.empty())
            continue;
        if (std::optional<std::string> text = scalarText(value))
            storeFirstNonEmpty(index, key, std::move(*text));
    }
}

std::optional<json> parseObject(std::string_view text)
{
    json value = json::parse(text, nullptr, false, false);
    if (value.is_discarded() || !value.is_object())
        return std::nullopt;
    return value;
}

} // namespace

std::string normaliseStatusKey(std::string_view key)
{
    std::string normalised;
    for (char c : key) {
        auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte))
            normalised.push_back(static_cast<char>(std::tolower(byte)));
    }
    return normalised;
}

std::optional<json> findStatusObject(std::string_view body)
{
    if (std::optional<json> whole = parseObject(body))
        return whole;
    size_t first = body.find('{');
    size_t last = body.rfind('}');
    if (first == std::string_view::npos || last == std::string_view::npos || first >= last)
        return std::nullopt;
    return parseObject(body.substr(first, last - first + 1));
}

json statusFieldsOf(const json& document)
{
    FlatIndex index;
    auto status = document.find("status");
    if (status != document.end() && status->is_object())
        flatten(*status, index);
    flatten(document, index);

    json fields = json::object();
    for (const FieldAliases& aliases : fieldAliases()) {
        std::string value;
        for (const char* name : aliases.names) {
            auto found = index.find(normaliseStatusKey(name));
            if (found != index.end() && !found->second.empty()) {
                value = found->second;
                break;
            }
        }
        fields[aliases.field] = value;
    }
    return fields;
}

StatusReading readStatusBody(int32_t httpStatus, std::string_view body)
{
    std::optional<json> document = findStatusObject(body);
    if (!document)
        return { false, httpStatus, "Status response was not valid JSON", json() };
    json fields = statusFieldsOf(*document);
    for (const auto& member : fields.items()) {
        if (!member.value().get_ref<const std::string&>().empty())
            return { true, 0, "Status retrieved successfully", std::move(fields) };
    }
    return { false, -1, "Status response did not contain recognized fields", std::move(fields) };
}

} // namespace kovrkit
