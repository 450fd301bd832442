#include "host/legacy/candidate_evaluation.h"

#include "host/legacy/nested_tree_conversion.h"

namespace kovrkit {

using nlohmann::json;

namespace {

bool isHexDigit(char byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'f')
        || (byte >= 'A' && byte <= 'F');
}

bool hasUnicodeEscapeAt(std::string_view text, std::size_t u)
{
    if (u + 4 >= text.size())
        return false;
    for (std::size_t at = u + 1; at <= u + 4; ++at) {
        if (!isHexDigit(text[at]))
            return false;
    }
    return true;
}

bool nestsDeeperThan(std::string_view text, int limit)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char byte = text[at];
        if (inString) {
            if (byte == '\\')
                ++at;
            else if (byte == '"')
                inString = false;
        } else if (byte == '"') {
            inString = true;
        } else if (byte == '{' || byte == '[') {
            if (++depth > limit)
                return true;
        } else if (byte == '}' || byte == ']') {
            --depth;
        }
    }
    return false;
}

std::string compact(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool isNodeMap(const json& value)
{
    return value.contains("rootId") && value.contains("nodes");
}

// A node map is judged whole: nothing inside it (its "nodes" object, a folder node with or
// without children, a folder listing ids) is collected or converted, since each of those would
// convert as a nested tree (16 points) and outrank the document that holds it (9 or more).
void walkValue(const json& value, int depth, std::vector<ScoredValue>& collected)
{
    if (depth > kMaxWalkDepth)
        return;
    if (value.is_string()) {
        json inner = parseBoundedJson(value.get_ref<const std::string&>());
        if (!inner.is_discarded())
            walkValue(inner, depth + 1, collected);
        return;
    }
    if (!value.is_object() && !value.is_array())
        return;
    if (looksLikeSites(value))
        collected.push_back({ scoreSitesShape(value), compact(value), isNodeMap(value) });
    if (value.is_array()) {
        for (const json& element : value)
            walkValue(element, depth + 1, collected);
        return;
    }
    if (isNodeMap(value))
        return;
    if (!nestedRootListsIds(value)) {
        if (std::optional<json> converted = convertNestedLegacyTree(value))
            collected.push_back({ kNestedTreeScore, compact(*converted) });
    }
    auto sites = value.find("sites");
    if (sites != value.end())
        walkValue(*sites, depth + 1, collected);
    for (auto member = value.begin(); member != value.end(); ++member) {
        if (member.key() != "sites")
            walkValue(member.value(), depth + 1, collected);
    }
}

} // namespace

Unescaped unescapeOnce(std::string_view text)
{
    Unescaped result;
    result.text.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char byte = text[at];
        if (byte != '\\' || at + 1 == text.size()) {
            result.text += byte;
            continue;
        }
        const char next = text[at + 1];
        char plain = 0;
        switch (next) {
        case '"':
            plain = '"';
            break;
        case '/':
            plain = '/';
            break;
        case '\\':
            plain = '\\';
            break;
        case 'b':
            plain = '\b';
            break;
        case 'f':
            plain = '\f';
            break;
        case 'n':
            plain = '\n';
            break;
        case 'r':
            plain = '\r';
            break;
        case 't':
            plain = '\t';
            break;
        default:
            break;
        }
        if (plain) {
            result.text += plain;
            result.changed = true;
            ++at;
        } else if (next == 'u' && hasUnicodeEscapeAt(text, at + 1)) {
            result.text.append(text.substr(at, 6));
            at += 5;
        } else {
            result.text += byte;
            result.text += next;
            ++at;
        }
    }
    return result;
}

json parseBoundedJson(std::string_view text)
{
    if (nestsDeeperThan(text, kMaxParsedNesting))
        return json(json::value_t::discarded);
    return json::parse(text, nullptr, false, false);
}

bool looksLikeSites(const json& value)
{
    if (value.is_array())
        return !value.empty();
    if (!value.is_object())
        return false;
    return isNodeMap(value) || value.contains("folders") || value.contains("devices")
        || value.contains("children") || value.contains("sites");
}

int scoreSitesShape(const json& value)
{
    if (!value.is_object())
        return 1;
    int score = isNodeMap(value) ? 9 : 1;
    if (value.contains("folders") || value.contains("devices"))
        score += 8;
    if (value.contains("children"))
        score += 3;
    if (value.contains("schemaVersion"))
        score += 2;
    return score;
}

void walkForSites(const json& value, int depth, std::vector<ScoredValue>& collected)
{
    walkValue(value, depth, collected);
}

std::optional<ScoredValue> evaluateCandidate(std::string_view candidate)
{
    json parsed = parseBoundedJson(candidate);
    if (parsed.is_discarded()) {
        Unescaped unescaped = unescapeOnce(candidate);
        if (!unescaped.changed)
            return std::nullopt;
        parsed = parseBoundedJson(unescaped.text);
        if (parsed.is_discarded())
            return std::nullopt;
    }
    std::vector<ScoredValue> collected;
    walkForSites(parsed, 0, collected);
    const ScoredValue* best = nullptr;
    for (const ScoredValue& value : collected) {
        if (!best || value.score > best->score)
            best = &value;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

} // namespace kovrkit
