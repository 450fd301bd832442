#include "host/jobs/upgrade_checks.h"

#include "host/actions/action_messages.h"

#include <nlohmann/json.hpp>

namespace kovrkit {

using nlohmann::json;

namespace {

constexpr std::string_view kModelPrefix = "model_name=";
constexpr std::string_view kVersionPrefix = "version_string=";

std::string textMember(const json& object, const char* name)
{
    auto member = object.find(name);
    return member != object.end() && member->is_string() ? member->get<std::string>() : "";
}

} // namespace

void FirmwareInfoLines::take(const std::string& line)
{
    if (line.starts_with(kModelPrefix))
        model_ = line.substr(kModelPrefix.size());
    else if (line.starts_with(kVersionPrefix))
        version_ = line.substr(kVersionPrefix.size());
}

std::string FirmwareInfoLines::asData() const
{
    if (!model_ || !version_)
        return "";
    return json { { "model_name", *model_ }, { "version_string", *version_ } }.dump(
        -1, ' ', false, json::error_handler_t::replace);
}

std::optional<FirmwareImage> firmwareImageOf(const DeviceEnd& check)
{
    if (!check.success)
        return std::nullopt;
    json data = json::parse(check.data, nullptr, false);
    if (data.is_discarded() || !data.is_object())
        return std::nullopt;
    FirmwareImage image { textMember(data, "model_name"), textMember(data, "version_string") };
    if (image.model.empty() || image.version.empty())
        return std::nullopt;
    return image;
}

std::optional<DeviceEnd> endBeforeUpload(const FirmwareImage& image, const DeviceEnd& status)
{
    if (!status.success)
        return status;
    json fields = json::parse(status.data, nullptr, false);
    if (fields.is_discarded() || !fields.is_object())
        fields = json::object();
    std::string model = textMember(fields, "model_name");
    std::string version = textMember(fields, "firmware_version");
    if (model != image.model) {
        std::string reason = "Controller model " + (model.empty() ? "(none)" : model)
            + " does not match the firmware file's model " + image.model;
        return DeviceEnd { false, -1, "refused-input", reason, kToolFailedMessage, "" };
    }
    if (version == image.version)
        return DeviceEnd { true, 0, "", kUpToDateText, kUpToDateText, "" };
    return std::nullopt;
}

DeviceEnd rolloutStoppedEnd()
{
    return { false, -1, "cancelled", kRolloutStoppedText, kRolloutStoppedText, "" };
}

} // namespace kovrkit
