#pragma once

#include <string>

namespace kovrkit {

inline constexpr const char* kMessageHandlerName = "kovrkit";
inline constexpr const char* kDeliverFunctionName = "__kovrkitDeliver";

// The script every top-level document gets before its own: it turns off the context menu and
// adds window.chrome.webview. Its messages start with `token`, which frames never see.
std::string pageScript(const std::string& token);

// A script that hands one JSON text from the host to the page's message listeners.
std::string deliveryScript(const std::string& json);

// 32 hexadecimal digits from the system's random source.
std::string newMessageToken();

} // namespace kovrkit
