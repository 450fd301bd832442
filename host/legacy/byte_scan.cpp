#include "host/legacy/byte_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include <nlohmann/json.hpp>

namespace kovrkit {

namespace {

constexpr std::string_view kQuotedSites = "\"sites\"";
constexpr std::string_view kEscapedSites = "\\\"sites\\\"";
constexpr std::size_t kBareKeyWindow = 64;
constexpr int kBracesPerMarker = 4;

constexpr std::array<std::string_view, 8> kMarkers { "\"rootId\"", "\"nodes\"", "\"folders\"",
    "\"devices\"", "\\\"rootId\\\"", "\\\"nodes\\\"", "\\\"folders\\\"", "\\\"devices\\\"" };

// The next occurrence of key at or after `from`. The C library's search runs several times
// faster over noise than a loop that stops at every byte equal to the key's first.
std::size_t findKey(std::string_view bytes, std::string_view key, std::size_t from)
{
    if (from > bytes.size())
        return std::string_view::npos;
#if defined(__GLIBC__)
    const void* found = ::memmem(bytes.data() + from, bytes.size() - from, key.data(), key.size());
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data())
                 : std::string_view::npos;
#else
    return bytes.find(key, from);
#endif
}

bool isAsciiAlphanumeric(char byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z')
        || (byte >= 'A' && byte <= 'Z');
}

bool isJsonBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

void addBracketed(std::size_t position, CandidateList& found)
{
    if (std::optional<std::string_view> block = found.blockAt(position))
        found.add(std::string(*block), position);
}

// The value after a quoted key: a JSON string whose content may be the tree, or a block.
void addValueAt(std::string_view bytes, std::size_t position, CandidateList& found)
{
    if (bytes[position] == '\\' && position + 1 < bytes.size() && bytes[position + 1] == '"')
        ++position;
    char first = bytes[position];
    if (first == '{' || first == '[') {
        addBracketed(position, found);
        return;
    }
    if (first != '"')
        return;
    std::optional<std::string_view> quoted = found.quotedAt(position);
    if (!quoted)
        return;
    nlohmann::json text = nlohmann::json::parse(*quoted, nullptr, false);
    if (text.is_string())
        found.add(text.get<std::string>());
}

} // namespace

std::optional<std::string_view> extractBracketed(
    std::string_view bytes, std::size_t position, std::size_t* scanned)
{
    if (position >= bytes.size())
        return std::nullopt;
    const char open = bytes[position];
    if (open != '{' && open != '[')
        return std::nullopt;
    const char close = open == '{' ? '}' : ']';
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t at = position; at < bytes.size(); ++at) {
        const char byte = bytes[at];
        if (inString) {
            if (byte == '\\')
                ++at;
            else if (byte == '"')
                inString = false;
        } else if (byte == '"') {
            inString = true;
        } else if (byte == open) {
            ++depth;
        } else if (byte == close) {
            if (depth == 1) {
                if (scanned)
                    *scanned = at - position + 1;
                return bytes.substr(position, at - position + 1);
            }
            --depth;
        }
    }
    if (scanned)
        *scanned = bytes.size() - position;
    return std::nullopt;
}

std::optional<std::string_view> extractQuotedString(std::string_view bytes, std::size_t position)
{
    if (position >= bytes.size() || bytes[position] != '"')
        return std::nullopt;
    for (std::size_t at = position + 1; at < bytes.size(); ++at) {
        if (bytes[at] == '\\')
            ++at;
        else if (bytes[at] == '"')
            return bytes.substr(position, at - position + 1);
    }
    return std::nullopt;
}

CandidateList::CandidateList(std::string_view bytes)
    : bytes_(bytes)
    , budgetLeft_(kBlockScanBudget * (bytes.size() + 1))
{
}

std::optional<std::string_view> CandidateList::blockAt(std::size_t position)
{
    auto known = blocks_.find(position);
    if (known != blocks_.end())
        return known->second;
    if (budgetLeft_ == 0)
        return std::nullopt;
    std::size_t scanned = 0;
    std::optional<std::string_view> block = extractBracketed(bytes_, position, &scanned);
    budgetLeft_ -= std::min(scanned, budgetLeft_);
    blocks_.emplace(position, block);
    return block;
}

std::optional<std::string_view> CandidateList::quotedAt(std::size_t position)
{
    auto known = quoted_.find(position);
    if (known != quoted_.end())
        return known->second;
    if (budgetLeft_ == 0)
        return std::nullopt;
    std::optional<std::string_view> quoted = extractQuotedString(bytes_, position);
    budgetLeft_ -= std::min(quoted ? quoted->size() : bytes_.size() - position, budgetLeft_);
    quoted_.emplace(position, quoted);
    return quoted;
}

std::vector<std::size_t> CandidateList::openBracesBefore(std::size_t position, std::size_t most)
{
    if (!bracesListed_) {
        for (std::size_t at = bytes_.find('{'); at != std::string_view::npos;
             at = bytes_.find('{', at + 1))
            openBraces_.push_back(at);
        bracesListed_ = true;
    }
    std::vector<std::size_t> braces;
    auto after = std::upper_bound(openBraces_.begin(), openBraces_.end(), position);
    while (after != openBraces_.begin() && braces.size() < most)
        braces.push_back(*--after);
    return braces;
}

void CandidateList::add(std::string candidate, std::size_t begin)
{
    if (candidate.empty())
        return;
    if (seen_.count(candidate))
        return;
    candidates_.push_back({ std::move(candidate), begin });
    seen_.insert(candidates_.back().text);
}

std::vector<PlacedCandidate> CandidateList::takeInOrder()
{
    seen_.clear();
    std::vector<PlacedCandidate> inOrder(
        std::make_move_iterator(candidates_.begin()), std::make_move_iterator(candidates_.end()));
    candidates_.clear();
    return inOrder;
}

void scanQuotedKey(std::string_view bytes, std::string_view key, CandidateList& found)
{
    std::size_t from = 0;
    std::size_t colon = 0; // the colon found last; later keys before it share it
    bool colonKnown = false;
    std::size_t lastValue = std::string_view::npos;
    for (;;) {
        const std::size_t occurrence = findKey(bytes, key, from);
        if (occurrence == std::string_view::npos)
            return;
        const std::size_t keyEnd = occurrence + key.size();
        if (!colonKnown || colon < keyEnd) {
            colon = bytes.find(':', keyEnd);
            colonKnown = true;
        }
        if (colon == std::string_view::npos)
            return;
        std::size_t value = colon + 1;
        while (value < bytes.size() && isJsonBlank(bytes[value]))
            ++value;
        if (value >= bytes.size())
            return;
        // Keys that share one colon share its value, which is cut once.
        if (value != lastValue)
            addValueAt(bytes, value, found);
        lastValue = value;
        from = keyEnd;
    }
}

void scanBareKey(std::string_view bytes, std::string_view key, CandidateList& found)
{
    std::size_t from = 0;
    for (;;) {
        const std::size_t occurrence = findKey(bytes, key, from);
        if (occurrence == std::string_view::npos)
            return;
        const std::size_t end = occurrence + key.size();
        from = end;
        const bool joinedBefore = occurrence > 0 && isAsciiAlphanumeric(bytes[occurrence - 1]);
        const bool joinedAfter = end < bytes.size() && isAsciiAlphanumeric(bytes[end]);
        if (joinedBefore || joinedAfter)
            continue;
        const std::string_view window = bytes.substr(end, kBareKeyWindow);
        const std::size_t bracket = window.find_first_of("{[");
        if (bracket != std::string_view::npos)
            addBracketed(end + bracket, found);
    }
}

void collectMarkerObjects(std::string_view bytes, CandidateList& found)
{
    for (std::string_view marker : kMarkers) {
        std::size_t from = 0;
        for (;;) {
            const std::size_t occurrence = findKey(bytes, marker, from);
            if (occurrence == std::string_view::npos)
                break;
            for (std::size_t brace : found.openBracesBefore(occurrence, kBracesPerMarker))
                addBracketed(brace, found);
            from = occurrence + marker.size();
        }
    }
}

std::vector<PlacedCandidate> collectPlacedCandidates(std::string_view bytes)
{
    CandidateList found(bytes);
    scanQuotedKey(bytes, kQuotedSites, found);
    scanQuotedKey(bytes, kEscapedSites, found);
    scanBareKey(bytes, "sites", found);
    scanBareKey(bytes, kQuotedSites, found);
    scanBareKey(bytes, kEscapedSites, found);
    collectMarkerObjects(bytes, found);
    return found.takeInOrder();
}

std::vector<std::string> collectCandidates(std::string_view bytes)
{
    std::vector<std::string> texts;
    for (PlacedCandidate& candidate : collectPlacedCandidates(bytes))
        texts.push_back(std::move(candidate.text));
    return texts;
}

} // namespace kovrkit
