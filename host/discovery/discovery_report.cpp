#include "host/discovery/discovery_report.h"

#include <algorithm>
#include <array>

namespace kovrkit {

namespace {

constexpr size_t kColumns = 7;
using TableLine = std::array<std::string, kColumns>;

std::string deviceColumn(const DiscoveryRow& row)
{
    if (row.deviceName.empty())
        return "-";
    std::string text = row.folder.empty() ? row.deviceName : row.folder + "/" + row.deviceName;
    if (row.state == DiscoveryState::moved)
        text += " (tree: " + row.treeAddress + ")";
    return text;
}

std::string orDash(const std::string& text)
{
    return text.empty() ? "-" : text;
}

TableLine lineOf(const DiscoveryRow& row)
{
    return { discoveryStateName(row.state), row.address, orDash(row.identity.model),
        orDash(row.identity.firmware), orDash(row.identity.serial), orDash(row.identity.mac),
        deviceColumn(row) };
}

std::string plural(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

std::string discoverySummaryLine(
    const std::vector<DiscoveryRow>& rows, const DiscoverySummary& summary)
{
    std::array<size_t, 4> counts {};
    for (const DiscoveryRow& row : rows)
        ++counts[static_cast<size_t>(row.state)];
    size_t found = counts[0] + counts[1] + counts[2];
    std::string line = "Scanned " + plural(summary.scanned, "address", "addresses") + ": "
        + plural(found, "controller", "controllers");
    if (!summary.comparedWithTree)
        return line + " (no sites tree to compare with)";
    return line + " (" + std::to_string(counts[0]) + " new, " + std::to_string(counts[1])
        + " known, " + std::to_string(counts[2]) + " moved), " + std::to_string(counts[3])
        + " missing";
}

std::string discoveryTable(const std::vector<DiscoveryRow>& rows, const DiscoverySummary& summary)
{
    std::vector<TableLine> lines { { "State", "Address", "Model", "Firmware", "Serial", "MAC",
        "Device" } };
    for (const DiscoveryRow& row : rows)
        lines.push_back(lineOf(row));
    std::array<size_t, kColumns> widths {};
    for (const TableLine& line : lines) {
        for (size_t column = 0; column < kColumns; ++column)
            widths[column] = std::max(widths[column], line[column].size());
    }
    std::string table;
    for (const TableLine& line : lines) {
        std::string text;
        for (size_t column = 0; column < kColumns; ++column) {
            text += line[column];
            if (column + 1 < kColumns)
                text += std::string(widths[column] - line[column].size() + 2, ' ');
        }
        table += text + "\n";
    }
    return table + discoverySummaryLine(rows, summary) + "\n";
}

nlohmann::json discoveryJson(const std::vector<DiscoveryRow>& rows, const DiscoverySummary& summary)
{
    nlohmann::json list = nlohmann::json::array();
    for (const DiscoveryRow& row : rows) {
        list.push_back({ { "state", discoveryStateName(row.state) }, { "address", row.address },
            { "model", row.identity.model }, { "firmware", row.identity.firmware },
            { "serial", row.identity.serial }, { "mac", row.identity.mac },
            { "device", row.deviceName }, { "folder", row.folder },
            { "treeAddress", row.treeAddress } });
    }
    return { { "scanned", summary.scanned }, { "tree", summary.comparedWithTree },
        { "rows", std::move(list) } };
}

} // namespace kovrkit
