// Validation of the nested form as it is read back from "settings.json".
#include "host/sites/sites_document.h"

namespace kovrkit {

using nlohmann::json;

namespace {

bool isAbsent(const json& object, std::string_view key)
{
    return object.find(key) == object.end();
}

bool hasNonBlankName(const json& object)
{
    const auto name = object.find("name");
    return name != object.end() && name->is_string()
        && !trimBlank(name->get_ref<const std::string&>()).empty();
}

bool isTextOrNull(const json& object, std::string_view key)
{
    const auto member = object.find(key);
    return member == object.end() || member->is_string() || member->is_null();
}

bool isValidFolderAt(const json& folder, std::size_t depth);

// The "folders" and "devices" arrays shared by the root and every folder.
bool hasValidContents(const json& folder, std::size_t depth)
{
    const auto folders = folder.find("folders");
    if (folders != folder.end()) {
        if (!folders->is_array())
            return false;
        for (const auto& child : *folders)
            if (!isValidFolderAt(child, depth + 1))
                return false;
    }
    const auto devices = folder.find("devices");
    if (devices != folder.end()) {
        if (!devices->is_array())
            return false;
        for (const auto& device : *devices)
            if (!isValidStoredDevice(device))
                return false;
    }
    return true;
}

bool isValidFolderAt(const json& folder, std::size_t depth)
{
    return depth <= kMaxFolderDepth && folder.is_object() && hasNonBlankName(folder)
        && isTextOrNull(folder, "description") && hasValidContents(folder, depth);
}

} // namespace

bool isValidStoredDevice(const json& device)
{
    return device.is_object() && hasNonBlankName(device) && isTextOrNull(device, "description")
        && isTextOrNull(device, "ip") && isTextOrNull(device, "username")
        && isTextOrNull(device, "password");
}

bool isValidStoredFolder(const json& folder)
{
    return isValidFolderAt(folder, 1);
}

bool isValidStoredSites(const json& stored)
{
    if (!stored.is_object())
        return false;
    const auto schemaVersion = stored.find("schemaVersion");
    if (schemaVersion != stored.end() && !schemaVersion->is_number())
        return false;
    if (!isAbsent(stored, "name") && !hasNonBlankName(stored))
        return false;
    return isTextOrNull(stored, "description") && hasValidContents(stored, 0);
}

} // namespace kovrkit
