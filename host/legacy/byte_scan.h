// The searches over raw LevelDB bytes that cut out text which may hold a sites tree. The bytes
// are never decoded as records or blocks: a tree is found wherever its JSON text lies in the
// file as it is.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kovrkit {

// The bracketed block that opens at `position` ("{" or "["), both brackets included. Only
// that kind of bracket is counted; strings are skipped. Nothing when the block never closes.
std::optional<std::string_view> extractBracketed(std::string_view bytes, std::size_t position);
// The quoted string that opens at `position`, both quotes included.
std::optional<std::string_view> extractQuotedString(std::string_view bytes, std::size_t position);

// Candidates of one file in the order they are found, without empty or repeated ones.
class CandidateList {
public:
    void add(std::string candidate);
    std::vector<std::string> takeInOrder();

private:
    // A deque never moves its strings, so the set may point into them.
    std::deque<std::string> candidates_;
    std::unordered_set<std::string_view> seen_;
};

void scanQuotedKey(std::string_view bytes, std::string_view key, CandidateList& found);
void scanBareKey(std::string_view bytes, std::string_view key, CandidateList& found);
void collectMarkerObjects(std::string_view bytes, CandidateList& found);

// Every search over one file, in order: quoted keys, bare keys, marker objects.
std::vector<std::string> collectCandidates(std::string_view bytes);

} // namespace kovrkit
