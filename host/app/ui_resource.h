#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

// The file under `uiFolder` that the address path `uriPath` names (percent escapes decoded,
// "" or a folder meaning its index.html), or nothing when the path is malformed, climbs out
// with "..", or leads through a link to anything outside the folder.
std::optional<std::string> resolveUiResource(const std::string& uiFolder, std::string_view uriPath);

// Content type by file extension; "application/octet-stream" when unknown.
std::string_view contentTypeFor(std::string_view filePath);

} // namespace kovrkit
