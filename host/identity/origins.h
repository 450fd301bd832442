#pragma once

#include <string_view>

namespace kovrkit {

inline constexpr std::string_view kAppScheme = "kovrkit";
inline constexpr std::string_view kAppOrigin = "kovrkit://app";
inline constexpr std::string_view kAppStartUri = "kovrkit://app/index.html";
inline constexpr std::string_view kDevOrigin = "http://localhost:5173";
inline constexpr std::string_view kDevStartUri = "http://localhost:5173/";

// For tests only: a port from 1 to 65535 in this variable moves the development origin to
// http://localhost:PORT, so that test suites running side by side each serve their own page.
// Unset or any other value: the development origin is kDevOrigin. Read once.
inline constexpr const char* kTestDevPortVariable = "KOVRKIT_TEST_DEV_PORT";

std::string_view acceptedOrigin(bool devMode);
std::string_view startUri(bool devMode);

// A page belongs to `origin` when its address is the origin itself or continues with a
// path, query or fragment; "http://localhost:51730" or "kovrkit://app.other" do not.
bool isFromOrigin(std::string_view uri, std::string_view origin);

} // namespace kovrkit
