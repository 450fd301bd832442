// Judging one candidate: parse it (once more after undoing one level of escaping), walk the
// parsed value for sites-like values, and keep the best by score.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrkit {

// Scores run from 1 to 22; a converted nested tree scores 16.
struct ScoredValue {
    int score = 0;
    std::string json; // compact
    bool nodeMap = false; // a node-map document found as one, not a converted nested tree
    bool operator==(const ScoredValue& other) const
    {
        return score == other.score && json == other.json;
    }
};

// Deeper nesting than this is not parsed: the walk and the serialiser recurse.
inline constexpr int kMaxParsedNesting = 1024;
inline constexpr int kMaxWalkDepth = 16;
inline constexpr int kNestedTreeScore = 16;

struct Unescaped {
    std::string text;
    bool changed = false;
};
Unescaped unescapeOnce(std::string_view text);

// The whole text as one JSON value, without comments; discarded when it is not, or nests
// deeper than kMaxParsedNesting.
nlohmann::json parseBoundedJson(std::string_view text);

bool looksLikeSites(const nlohmann::json& value);
int scoreSitesShape(const nlohmann::json& value);
void walkForSites(const nlohmann::json& value, int depth, std::vector<ScoredValue>& collected);

std::optional<ScoredValue> evaluateCandidate(std::string_view candidate);

} // namespace kovrkit
