#pragma once

#include <string>

#include <webkit2/webkit2.h>

namespace kovrkit {

// Serves the files of `uiFolder` under kovrkit://app, registered as a secure scheme that
// other origins cannot fetch from. Requests for another host or for anything outside the
// folder fail as not found.
void registerUiScheme(WebKitWebContext* context, const std::string& uiFolder);

} // namespace kovrkit
