#include "host/legacy/raw_scan.h"

#include "host/legacy/byte_scan.h"
#include "host/platform/file_access.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>

namespace kovrkit {

namespace {

void keepBetter(std::optional<ScoredValue>& best, std::optional<ScoredValue> candidate)
{
    if (candidate && (!best || candidate->score > best->score))
        best = std::move(candidate);
}

// Blocks whose best value is a node-map document, as [begin, end) sorted by begin, each end
// raised to the largest end so far, so that one search answers whether a block that begins
// later lies inside one of them.
class NodeMapSpans {
public:
    void add(std::size_t begin, std::size_t end) { spans_.push_back({ begin, end }); }
    void seal()
    {
        std::sort(spans_.begin(), spans_.end());
        for (std::size_t at = 1; at < spans_.size(); ++at)
            spans_[at].second = std::max(spans_[at].second, spans_[at - 1].second);
    }
    bool encloses(std::size_t begin, std::size_t end) const
    {
        auto after = std::lower_bound(
            spans_.begin(), spans_.end(), std::pair<std::size_t, std::size_t>(begin, 0));
        return after != spans_.begin() && std::prev(after)->second >= end;
    }

private:
    std::vector<std::pair<std::size_t, std::size_t>> spans_;
};

} // namespace

// A block cut from inside a node-map document (its "nodes" object, one folder node) is never
// taken in place of the document: the document's own walk has judged it already.
std::optional<ScoredValue> bestOfBytes(std::string_view bytes)
{
    std::vector<PlacedCandidate> candidates = collectPlacedCandidates(bytes);
    std::vector<std::optional<ScoredValue>> results;
    results.reserve(candidates.size());
    NodeMapSpans nodeMaps;
    for (const PlacedCandidate& candidate : candidates) {
        results.push_back(evaluateCandidate(candidate.text));
        if (results.back() && results.back()->nodeMap
            && candidate.begin != PlacedCandidate::kNotCut)
            nodeMaps.add(candidate.begin, candidate.begin + candidate.text.size());
    }
    nodeMaps.seal();
    std::optional<ScoredValue> best;
    for (std::size_t index = candidates.size(); index-- > 0;) {
        const PlacedCandidate& candidate = candidates[index];
        if (candidate.begin != PlacedCandidate::kNotCut
            && nodeMaps.encloses(candidate.begin, candidate.begin + candidate.text.size()))
            continue;
        keepBetter(best, std::move(results[index]));
    }
    return best;
}

std::optional<ScoredValue> bestOfFiles(const std::vector<std::filesystem::path>& newestFirst)
{
    std::optional<ScoredValue> best;
    for (const std::filesystem::path& file : newestFirst) {
        std::optional<std::string> bytes = readWholeFile(file);
        if (bytes && !bytes->empty())
            keepBetter(best, bestOfBytes(*bytes));
    }
    return best;
}

std::optional<std::string> readWholeFile(const std::filesystem::path& file)
{
    std::string bytes;
    if (!readWholeFile(file.string(), bytes, kLegacyFileLimit))
        return std::nullopt;
    return bytes;
}

} // namespace kovrkit
