#include "host/app/ui_resource.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

namespace kovrkit {

namespace fs = std::filesystem;

static int hexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

static std::optional<std::string> percentDecode(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t index = 0; index < text.size(); ++index) {
        char current = text[index];
        if (current != '%') {
            decoded += current;
            continue;
        }
        if (index + 2 >= text.size())
            return std::nullopt;
        int high = hexValue(text[index + 1]);
        int low = hexValue(text[index + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        index += 2;
    }
    return decoded;
}

// Rebuilds the path from its segments, refusing any that could step outside the folder.
static std::optional<fs::path> relativeRequestPath(const std::string& decoded)
{
    fs::path relative;
    size_t start = 0;
    while (start <= decoded.size()) {
        size_t end = decoded.find('/', start);
        if (end == std::string::npos)
            end = decoded.size();
        std::string segment = decoded.substr(start, end - start);
        if (segment == "..")
            return std::nullopt;
        if (!segment.empty() && segment != ".")
            relative /= segment;
        start = end + 1;
    }
    return relative;
}

static bool isInside(const fs::path& candidate, const fs::path& root)
{
    auto [rootEnd, candidateAt]
        = std::mismatch(root.begin(), root.end(), candidate.begin(), candidate.end());
    return rootEnd == root.end();
}

std::optional<std::string> resolveUiResource(const std::string& uiFolder, std::string_view uriPath)
{
    std::optional<std::string> decoded = percentDecode(uriPath);
    if (!decoded || decoded->find('\0') != std::string::npos)
        return std::nullopt;
    std::optional<fs::path> relative = relativeRequestPath(*decoded);
    if (!relative)
        return std::nullopt;

    std::error_code error;
    fs::path root = fs::canonical(uiFolder, error);
    if (error)
        return std::nullopt;
    fs::path target = root / *relative;
    if (fs::is_directory(target, error))
        target /= "index.html";
    fs::path real = fs::canonical(target, error);
    if (error || !isInside(real, root) || !fs::is_regular_file(real, error))
        return std::nullopt;
    return real.string();
}

std::string_view contentTypeFor(std::string_view filePath)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 18> kTypes { {
        { ".html", "text/html" },
        { ".htm", "text/html" },
        { ".js", "text/javascript" },
        { ".mjs", "text/javascript" },
        { ".css", "text/css" },
        { ".json", "application/json" },
        { ".map", "application/json" },
        { ".svg", "image/svg+xml" },
        { ".png", "image/png" },
        { ".jpg", "image/jpeg" },
        { ".jpeg", "image/jpeg" },
        { ".gif", "image/gif" },
        { ".ico", "image/x-icon" },
        { ".webp", "image/webp" },
        { ".woff", "font/woff" },
        { ".woff2", "font/woff2" },
        { ".ttf", "font/ttf" },
        { ".txt", "text/plain" },
    } };
    for (const auto& [extension, type] : kTypes) {
        if (filePath.ends_with(extension))
            return type;
    }
    return "application/octet-stream";
}

} // namespace kovrkit
