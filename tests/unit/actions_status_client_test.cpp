// The host's own status read against a real HTTP server on a loopback port: which value wins
// when a document holds several, how values become text, and every failure text.
#include "fakes/fake_http_server.h"
#include "host/actions/status_address.h"
#include "host/actions/status_client.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;

namespace {

StatusReading readServed(const std::string& body)
{
    FakeHttpServer server("127.0.0.1", 0, { { kStatusPath, body } });
    return readDeviceStatus(" 127.0.0.1:" + std::to_string(server.port()) + "\t");
}

// A loopback port nobody listens on.
int closedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace

TEST(StatusClient, EachFieldTakesTheFirstNonEmptyValueInItsOrder)
{
    // "a" sorts before "serial" and its members are visited at once; "status" is read before
    // the root; an empty value gives way to a later one; aliases differ in case and separators.
    StatusReading reading = readServed(R"({
        "serial": 2, "a": { "serial": 1 },
        "model_name": "root model", "status": { "Model-Name": "inner model", "fwVersion": "" },
        "sw_version": "3.1.0", "firmware": "",
        "list": [ "plain", { "MAC_Address": "00:11:22:33:44:55" } ],
        "uptime": 3600, "current_time": 1.5, "bacnet": { "BacnetIP": true },
        "time": null })");
    ASSERT_TRUE(reading.ok) << reading.message;
    EXPECT_EQ(reading.code, 0);
    EXPECT_EQ(reading.message, "Status retrieved successfully");
    EXPECT_EQ(reading.fields.dump(),
        R"({"bacnet_ip":"true","firmware_version":"3.1.0","mac":"00:11:22:33:44:55",)"
        R"("model_name":"inner model","serial_number":"1","time":"1.5","uptime":"3600"})");
}

TEST(StatusClient, NumbersAreWrittenAsAStreamWritesThem)
{
    StatusReading reading = readServed(
        R"({"uptime": 1234567.0, "serial_number": -42, "time": 0.1, "model": 1e300, "mac": false})");
    ASSERT_TRUE(reading.ok) << reading.message;
    EXPECT_EQ(reading.fields["uptime"], "1.23457e+06");
    EXPECT_EQ(reading.fields["serial_number"], "-42");
    EXPECT_EQ(reading.fields["time"], "0.1");
    EXPECT_EQ(reading.fields["model_name"], "1e+300");
    EXPECT_EQ(reading.fields["mac"], "false");
}

TEST(StatusClient, BodiesThatAreNotPlainObjects)
{
    StatusReading prefixed
        = readServed("boot log line {with a brace}\n{\"modelName\":\"X\"} trailing");
    EXPECT_FALSE(prefixed.ok) << "first { to last } is not one object here";
    EXPECT_EQ(prefixed.code, 200);
    EXPECT_EQ(prefixed.message, "Status response was not valid JSON");

    StatusReading logged = readServed("boot log line\r\n{\"modelName\":\"X\"}\r\n");
    ASSERT_TRUE(logged.ok) << logged.message;
    EXPECT_EQ(logged.fields["model_name"], "X");
    EXPECT_EQ(logged.fields["mac"], "");

    StatusReading unknown = readServed(R"({"status":{"colour":"blue"},"model_name":""})");
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.code, -1);
    EXPECT_EQ(unknown.message, "Status response did not contain recognized fields");

    StatusReading array = readServed(R"([{"model":"in an array"}])");
    EXPECT_EQ(array.fields["model_name"], "in an array") << "an array holds an object";

    std::string depth(100000, '[');
    StatusReading nested = readServed(
        "{\"x\":" + depth + std::string(depth.size(), ']') + ",\"z\":{\"mac\":\"M\"}}");
    EXPECT_EQ(nested.fields["mac"], "M") << "a deep document is walked without recursion";
}

TEST(StatusClient, SendsOneGetWithItsHeadersToTheGivenPort)
{
    FakeHttpServer server("127.0.0.1", 0, { { kStatusPath, R"({"model_name":"VELDIR-2"})" } });
    ASSERT_TRUE(readDeviceStatus("127.0.0.1:" + std::to_string(server.port())).ok);
    std::vector<std::string> heads = server.requestHeads();
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(heads[0].substr(0, heads[0].find("\r\n")), "GET /api/v100/status.ssi HTTP/1.1");
    EXPECT_NE(heads[0].find("\r\nUser-Agent: VELDIR-Tool/1.0"), std::string::npos);
    EXPECT_NE(heads[0].find("\r\nConnection: close"), std::string::npos);
}

TEST(StatusClient, FailuresSayWhatWentWrong)
{
    FakeHttpServer empty("127.0.0.1", 0, {});
    StatusReading notFound = readDeviceStatus("127.0.0.1:" + std::to_string(empty.port()));
    EXPECT_EQ(notFound.code, 404);
    EXPECT_EQ(notFound.message, "Status request failed with HTTP 404");

    StatusReading refused = readDeviceStatus("127.0.0.1:" + std::to_string(closedPort()));
    EXPECT_EQ(refused.code, -1);
    EXPECT_EQ(refused.message, "Failed to send status request (libcurl 7)");

    EXPECT_EQ(readDeviceStatus(" \t ").message, "Missing device IP");
    for (const char* address : { "127.0.0.1/x", "user@127.0.0.1", "127.0.0.1:0", "127.0.0.1:http" })
        EXPECT_EQ(readDeviceStatus(address).message, "Failed to connect to device") << address;
}

TEST(StatusClient, AddressesWithAndWithoutPort)
{
    struct Case {
        const char* address;
        const char* host;
        int port;
    };
    for (const Case& expected : { Case { "gateway.local", "gateway.local", 80 },
             Case { "10.0.0.5:8080", "10.0.0.5", 8080 }, Case { "[::1]:6969", "::1", 6969 },
             Case { "[fe80::1%eth0]", "fe80::1%eth0", 80 }, Case { "fe80::2", "fe80::2", 80 } }) {
        std::optional<StatusEndpoint> endpoint = parseStatusEndpoint(expected.address);
        ASSERT_TRUE(endpoint) << expected.address;
        EXPECT_EQ(endpoint->host, expected.host);
        EXPECT_EQ(endpoint->port, expected.port);
    }
    for (const char* refused : { "", ":80", "[::1", "[::1]x", "a:65536", "a b", "a?b", "[::1]:" })
        EXPECT_FALSE(parseStatusEndpoint(refused)) << refused;
}
