// The searches over raw LevelDB bytes that cut out text which may hold a sites tree. The bytes
// are never decoded as records or blocks: a tree is found wherever its JSON text lies in the
// file as it is.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kovrkit {

// The bracketed block that opens at `position` ("{" or "["), both brackets included. Only
// that kind of bracket is counted; strings are skipped. Nothing when the block never closes.
std::optional<std::string_view> extractBracketed(
    std::string_view bytes, std::size_t position, std::size_t* scanned = nullptr);
// The quoted string that opens at `position`, both quotes included.
std::optional<std::string_view> extractQuotedString(std::string_view bytes, std::size_t position);

// A candidate and where in the file it was cut (kNotCut for the content of a string).
struct PlacedCandidate {
    static constexpr std::size_t kNotCut = static_cast<std::size_t>(-1);
    std::string text;
    std::size_t begin = kNotCut;
};

// Candidates of one file in the order they are found, without empty or repeated ones.
class CandidateList {
public:
    explicit CandidateList(std::string_view bytes);

    void add(std::string candidate, std::size_t begin = PlacedCandidate::kNotCut);
    // extractBracketed over the file, remembered per position. The searches try the same
    // braces again and again (every marker inside a tree tries the braces around it), and
    // blocks that never close would otherwise be scanned to the end of the file each time:
    // once the scans of one file have covered kBlockScanBudget times its size, no further
    // block is cut from it.
    std::optional<std::string_view> blockAt(std::size_t position);
    // extractQuotedString, remembered and counted against the same budget.
    std::optional<std::string_view> quotedAt(std::size_t position);
    // The nearest "{" at or before position and the ones before it, nearest first.
    std::vector<std::size_t> openBracesBefore(std::size_t position, std::size_t most);
    std::vector<PlacedCandidate> takeInOrder();

    static constexpr std::size_t kBlockScanBudget = 64;

private:
    std::string_view bytes_;
    std::unordered_map<std::size_t, std::optional<std::string_view>> blocks_;
    std::unordered_map<std::size_t, std::optional<std::string_view>> quoted_;
    std::vector<std::size_t> openBraces_; // listed at the first marker
    bool bracesListed_ = false;
    std::size_t budgetLeft_;
    // A deque never moves its strings, so the set may point into them.
    std::deque<PlacedCandidate> candidates_;
    std::unordered_set<std::string_view> seen_;
};

void scanQuotedKey(std::string_view bytes, std::string_view key, CandidateList& found);
void scanBareKey(std::string_view bytes, std::string_view key, CandidateList& found);
void collectMarkerObjects(std::string_view bytes, CandidateList& found);

// Every search over one file, in order: quoted keys, bare keys, marker objects.
std::vector<PlacedCandidate> collectPlacedCandidates(std::string_view bytes);
std::vector<std::string> collectCandidates(std::string_view bytes);

} // namespace kovrkit
