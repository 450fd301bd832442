#include "host/legacy/raw_scan.h"

#include "host/legacy/byte_scan.h"

#include <fstream>

namespace kovrkit {

namespace {

void keepBetter(std::optional<ScoredValue>& best, std::optional<ScoredValue> candidate)
{
    if (candidate && (!best || candidate->score > best->score))
        best = std::move(candidate);
}

} // namespace

std::optional<ScoredValue> bestOfBytes(std::string_view bytes)
{
    std::vector<std::string> candidates = collectCandidates(bytes);
    std::optional<ScoredValue> best;
    for (auto candidate = candidates.rbegin(); candidate != candidates.rend(); ++candidate)
        keepBetter(best, evaluateCandidate(*candidate));
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
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return std::nullopt;
    in.seekg(0, std::ios::beg);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), size))
        return std::nullopt;
    return bytes;
}

} // namespace kovrkit
