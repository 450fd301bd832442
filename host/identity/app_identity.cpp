#include "host/identity/app_identity.h"

#include "host/identity/version_info.h"

namespace kovrkit {

const AppIdentity& builtInIdentity()
{
    static const AppIdentity identity {
        {
            { "CompanyName", "TORVANE Lighting Systems" },
            { "FileDescription", "TORVANE VELDIR Tool" },
            { "FileVersion", kProgramVersion },
            { "InternalName", "kovrkit" },
            { "LegalCopyright", "Copyright (C) 2026 TORVANE Lighting Systems" },
            { "OriginalFilename", "kovrkit" },
            { "ProductName", "TORVANE VELDIR Tool" },
            { "ProductVersion", kProgramVersion },
            { "Website", "https://www.torvane.example" },
            { "WindowTitle", "TORVANE VELDIR Tool" },
        },
        kProgramVersion,
    };
    return identity;
}

std::string readVersionString(const AppIdentity& identity, const std::string& key)
{
    if (key.empty())
        return {};
    auto found = identity.strings.find(key);
    return found == identity.strings.end() ? std::string() : found->second;
}

std::string readFileVersion(const AppIdentity& identity)
{
    return identity.fileVersion.empty() ? std::string("0.0.0.0") : identity.fileVersion;
}

std::string windowCaption(const AppIdentity& identity)
{
    std::string title = readVersionString(identity, "WindowTitle");
    return title.empty() ? std::string(kDefaultWindowTitle) : title;
}

} // namespace kovrkit
