// Any bytes as one file of the legacy tool's store, searched as the migration searches it. The
// best value found is compact JSON with a score in range, and the migration's next step (the
// sites save's conversion) takes or refuses it without fault.
#include "fuzz/sites_expansion.h"
#include "host/legacy/candidate_evaluation.h"
#include "host/legacy/raw_scan.h"
#include "host/sites/sites_tree.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<kovrkit::ScoredValue> best = kovrkit::bestOfBytes(bytes);
    if (!best)
        return 0;
    check(best->score >= 1 && best->score <= 22);
    const nlohmann::json document = nlohmann::json::parse(best->json, nullptr, false);
    check(!document.is_discarded());
    if (kovru_fuzz::expandsBeyond(document, 20000))
        return 0;
    if (const auto map = kovrkit::nodeMapFromJson(document))
        (void)kovrkit::convertNodeMap(*map);
    return 0;
}
