#include "cli/json/json_pull.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kovru {
namespace {

struct Read {
    JsonToken kind;
    std::string text;
    double number;

    bool operator==(const Read&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Read& read)
{
    return out << static_cast<int>(read.kind) << " '" << read.text << "' " << read.number;
}

// Every token up to and including the first end or error.
std::vector<Read> read_all(std::string_view text)
{
    JsonPullReader reader(text);
    std::vector<Read> reads;
    for (;;) {
        JsonToken kind = reader.next();
        bool has_text = kind == JsonToken::string || kind == JsonToken::number;
        reads.push_back({ kind, has_text ? reader.text() : "",
            kind == JsonToken::number ? reader.number() : 0 });
        if (kind == JsonToken::end || kind == JsonToken::error)
            return reads;
    }
}

Read str(std::string text)
{
    return { JsonToken::string, std::move(text), 0 };
}
Read num(std::string text, double value)
{
    return { JsonToken::number, std::move(text), value };
}
Read tok(JsonToken kind)
{
    return { kind, "", 0 };
}

TEST(JsonPullReader, YieldsEveryTokenKindInDocumentOrder)
{
    std::vector<Read> expected = { tok(JsonToken::object_start), str("a"),
        tok(JsonToken::array_start), num("1", 1), num("-2.5e1", -25), tok(JsonToken::true_value),
        tok(JsonToken::false_value), tok(JsonToken::null_value), tok(JsonToken::array_end),
        str("b"), str("x\\y\n\u00e9"), tok(JsonToken::object_end), tok(JsonToken::end) };
    EXPECT_EQ(read_all(R"({"a":[1,-2.5e1,true,false,null],"b":"x\\y\n\u00e9"})"), expected);
}

TEST(JsonPullReader, ReadsScalarDocumentsAndKeepsLargeNumbers)
{
    EXPECT_EQ(read_all("2"), (std::vector<Read> { num("2", 2), tok(JsonToken::end) }));
    EXPECT_EQ(read_all(" \"C:\\\\x\" "), (std::vector<Read> { str("C:\\x"), tok(JsonToken::end) }));
    EXPECT_EQ(read_all("-7"), (std::vector<Read> { num("-7", -7), tok(JsonToken::end) }));
    EXPECT_EQ(read_all("18446744073709551615")[0].text, "18446744073709551615");
    EXPECT_EQ(read_all("\"\\ud83d\\ude00\"")[0].text, "\xF0\x9F\x98\x80");
}

TEST(JsonPullReader, EndAndErrorRepeatOnceReached)
{
    JsonPullReader done("[]");
    done.next();
    done.next();
    EXPECT_EQ(done.next(), JsonToken::end);
    EXPECT_EQ(done.next(), JsonToken::end);

    JsonPullReader broken("[");
    EXPECT_EQ(broken.next(), JsonToken::array_start);
    EXPECT_EQ(broken.next(), JsonToken::error);
    EXPECT_EQ(broken.next(), JsonToken::error);
}

// Malformed input yields what was read before the fault, then one error token.
TEST(JsonPullReader, StopsCleanlyOnMalformedInput)
{
    EXPECT_EQ(read_all(""), (std::vector<Read> { tok(JsonToken::error) }));
    EXPECT_EQ(read_all("[1,2"),
        (std::vector<Read> {
            tok(JsonToken::array_start), num("1", 1), num("2", 2), tok(JsonToken::error) }));
    EXPECT_EQ(read_all(R"(["ok","trunc)"),
        (std::vector<Read> { tok(JsonToken::array_start), str("ok"), tok(JsonToken::error) }));
    EXPECT_EQ(read_all(R"(["ok","bad\q"])"),
        (std::vector<Read> { tok(JsonToken::array_start), str("ok"), tok(JsonToken::error) }));
    EXPECT_EQ(read_all(R"(["\u12"])"),
        (std::vector<Read> { tok(JsonToken::array_start), tok(JsonToken::error) }));
    EXPECT_EQ(read_all(R"(["\udc00"])"),
        (std::vector<Read> { tok(JsonToken::array_start), tok(JsonToken::error) }));
    EXPECT_EQ(read_all("[1]x"),
        (std::vector<Read> { tok(JsonToken::array_start), num("1", 1), tok(JsonToken::array_end),
            tok(JsonToken::error) }));
    EXPECT_EQ(read_all("[1e999]"),
        (std::vector<Read> { tok(JsonToken::array_start), tok(JsonToken::error) }));
    EXPECT_EQ(read_all("C:\\data\\a.csv"), (std::vector<Read> { tok(JsonToken::error) }));
    EXPECT_EQ(read_all("[01]"),
        (std::vector<Read> { tok(JsonToken::array_start), num("0", 0), tok(JsonToken::error) }));
}

TEST(JsonPullReader, RefusesInvalidUtf8)
{
    for (std::string bad : { "[\"\xC3\"]", "[\"\xFF\"]", "[\"\xC0\xAF\"]", "[\"\xED\xA0\x80\"]",
             "[\"\xF4\x90\x80\x80\"]" }) {
        EXPECT_EQ(read_all(bad),
            (std::vector<Read> { tok(JsonToken::array_start), tok(JsonToken::error) }))
            << "input bytes: " << bad.size();
    }
    EXPECT_EQ(read_all("[\"\xE2\x82\xAC\"]")[1], str("\xE2\x82\xAC"));
}

TEST(JsonPullReader, RefusesDeepNestingAfterTheLevelsItAccepts)
{
    std::string deep(100000, '[');
    std::vector<Read> reads = read_all(deep);
    ASSERT_GT(reads.size(), 1u);
    EXPECT_LT(reads.size(), 1000u);
    EXPECT_EQ(reads.back(), tok(JsonToken::error));
    EXPECT_EQ(reads.front(), tok(JsonToken::array_start));

    std::string fits = std::string(200, '[') + std::string(200, ']');
    EXPECT_EQ(read_all(fits).back(), tok(JsonToken::end));
}

TEST(JsonPullReader, TextEndsAtTheFirstNul)
{
    std::string text("[1]\0garbage", 11);
    EXPECT_EQ(read_all(text).back(), tok(JsonToken::end));
    EXPECT_EQ(read_all(std::string("[\"a\0b\"]", 7)).back(), tok(JsonToken::error));
}

} // namespace
} // namespace kovru

namespace kovru {
namespace {

// Damaged copies of a real document: every one must end in end or error, never run away.
TEST(JsonPullReader, SurvivesDamagedDocuments)
{
    const std::string document = R"({"model_name":"VELDIR-2","firmware_version":"1.10.0",)"
                                 R"("list":[1,-2.5e3,true,false,null,"\u00e9\n\\"],"o":{}})";
    std::uint32_t seed = 12345;
    auto next_random = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 5000; ++round) {
        std::string damaged = document;
        int changes = 1 + static_cast<int>(next_random() % 4);
        for (int change = 0; change < changes; ++change) {
            std::size_t at = next_random() % damaged.size();
            switch (next_random() % 3) {
            case 0:
                damaged[at] = static_cast<char>(next_random() & 0xFF);
                break;
            case 1:
                damaged.erase(at, 1 + next_random() % 8);
                break;
            default:
                damaged.insert(at, 1, "[{\"\\,:]}0e-"[next_random() % 12]);
                break;
            }
            if (damaged.empty())
                damaged = "x";
        }
        std::vector<Read> reads = read_all(damaged);
        ASSERT_FALSE(reads.empty());
        ASSERT_LE(reads.size(), damaged.size() + 1) << damaged;
    }
}

} // namespace
} // namespace kovru
