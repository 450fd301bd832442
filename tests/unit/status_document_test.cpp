#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/controller_api/status_document.h"

#include <gtest/gtest.h>

namespace kovru {
namespace {

TEST(StatusDocument, StringMembersFillExactlyTheNamedFields)
{
    ControllerStatus status;
    ASSERT_TRUE(read_status_document(
        R"({"model_name":"VELDIR-3","firmware_version":"1.5.2","mac":"00:1E","colour":"blue",)"
        R"("Model_Name":"wrong case","username":"tech"})",
        status));
    EXPECT_EQ(status.model_name(), "VELDIR-3");
    EXPECT_EQ(status.firmware_version(), "1.5.2");
    EXPECT_EQ(status.get("mac"), "00:1E");
    EXPECT_EQ(status.get("username"), "tech");
    int filled = 0;
    for (const auto& value : status.values)
        filled += value.has_value();
    EXPECT_EQ(filled, 4);
    EXPECT_FALSE(status.get("colour").has_value());
}

TEST(StatusDocument, FailsWithoutAStringModelName)
{
    ControllerStatus status;
    EXPECT_FALSE(read_status_document(R"({"firmware_version":"1.5.0"})", status));
    EXPECT_EQ(status.firmware_version(), "1.5.0");

    ControllerStatus numeric;
    EXPECT_FALSE(read_status_document(R"({"model_name":4})", numeric));
    EXPECT_FALSE(numeric.model_name().has_value());

    for (const char* body : { "", "[]", "null", "\"model_name\"", "<html>404</html>" }) {
        ControllerStatus other;
        EXPECT_FALSE(read_status_document(body, other)) << body;
    }
}

// A value of another type must not shift later keys into value position.
TEST(StatusDocument, OtherValueTypesAndNestingKeepKeysAndValuesPaired)
{
    ControllerStatus status;
    ASSERT_TRUE(
        read_status_document(R"({"boot":12,"ok":true,"none":null,"list":["model_name","X"],)"
                             R"("nested":{"model_name":"inner","deeper":{"a":[1,{"b":2}]}},)"
                             R"("model_name":"VELDIR-1","hostname":"hall-a"})",
            status));
    EXPECT_EQ(status.model_name(), "VELDIR-1");
    EXPECT_EQ(status.get("hostname"), "hall-a");
}

TEST(StatusDocument, ReadingStopsAtAFaultOrANulAndKeepsWhatCameBefore)
{
    ControllerStatus truncated;
    EXPECT_TRUE(read_status_document(R"({"model_name":"VELDIR-2","hostname":"h)", truncated));
    EXPECT_EQ(truncated.model_name(), "VELDIR-2");
    EXPECT_FALSE(truncated.get("hostname").has_value());

    ControllerStatus after_nul;
    std::string body = std::string(R"({"hostname":"a"})") + '\0' + R"({"model_name":"X"})";
    EXPECT_FALSE(read_status_document(body, after_nul));
    EXPECT_EQ(after_nul.get("hostname"), "a");
}

TEST(StatusDocument, EscapesAreDecodedAndALaterDuplicateWins)
{
    ControllerStatus status;
    ASSERT_TRUE(read_status_document(
        R"({"model_name":"old","model_name":"VELDIR-4","hostname":"hall \"A\"\u00e9"})", status));
    EXPECT_EQ(status.model_name(), "VELDIR-4");
    EXPECT_EQ(status.get("hostname"), "hall \"A\"\xC3\xA9");
}

TEST(ControllerClient, FormatsUrlsAndDigests)
{
    EXPECT_EQ(base_url("10.0.0.7:8080"), "http://10.0.0.7:8080");
    std::array<std::uint8_t, 32> digest {};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>((i % 16) * 0x11);
    EXPECT_EQ(
        digest_hex(digest), "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
}

} // namespace
} // namespace kovru
