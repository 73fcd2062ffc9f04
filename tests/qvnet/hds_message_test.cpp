#include <gtest/gtest.h>

#include "qvnet/hds_message.h"

namespace {

const std::string kClient(32, 'A');

std::string Reply(const std::string& body, const std::string& client = kClient,
                  const std::string& start = "HDS/1.0 200 OK",
                  const std::string& type = "Content-Type:text/HDP") {
    return start + "\r\nCSeq:1\r\nClient-ID:" + client + "\r\n" + type +
           "\r\nContent-Length:" + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(HdsMessage, RequestsAreExact) {
    EXPECT_EQ(qvnet::BuildHdsSearch(7, kClient),
              "SEARCH * HDS/1.0\r\nCSeq:7\r\nClient-ID:" + kClient +
                  "\r\nAccept-Type:text/HDP\r\nContent-Length:0\r\n\r\n");
    std::string cmd = qvnet::BuildHdsCommand(8, kClient, std::string(32, 'D'), "netconf set -x 1");
    EXPECT_EQ(cmd, "CMD * HDS/1.0\r\nCSeq:8\r\nClient-ID:" + kClient +
                       "\r\nAccept-Type:text/HDP\r\nDevice-ID:" + std::string(32, 'D') +
                       "\r\nContent-Length:17\r\n\r\nnetconf set -x 1" + std::string(1, '\0'));
    qvnet::HdsSequence seq;
    EXPECT_EQ(seq.Next(), 1u);
    seq.Set(399999999);
    EXPECT_EQ(seq.Next(), 399999999u);
    EXPECT_EQ(seq.Next(), 1u);
}

struct ParseCase {
    const char* name;
    std::string message;
    bool found;
    std::string ip, mac, id;
    int cams;
};

// Test names carry the case name, not a dump of its bytes.
void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.name; }

class HdsParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(HdsParseTest, Fields) {
    const ParseCase& c = GetParam();
    auto d = qvnet::ParseHdsDevice(c.message, kClient);
    ASSERT_EQ(d.has_value(), c.found);
    if (!d) return;
    EXPECT_EQ(d->ip, c.ip);
    EXPECT_EQ(d->mac, c.mac);
    EXPECT_EQ(d->device_id, c.id);
    EXPECT_EQ(d->cam_count, c.cams);
}

const std::string kId32 = "QV0123456789ABCDEFGHIJKLMNOPQRST";
const std::string kBody = "IP=127.0.0.20\r\nMAC=00:51:56:00:00:01\r\nDevice-ID=" + kId32 +
                          "\r\nMedia-Port=7200\r\ncam-count=4\r\n";

INSTANTIATE_TEST_SUITE_P(
    Replies, HdsParseTest,
    ::testing::Values(
        ParseCase{"Reply", Reply(kBody), true, "127.0.0.20", "00:51:56:00:00:01", kId32, 4},
        ParseCase{"AcceptType", Reply(kBody, kClient, "HDS/1.0 200 OK", "Accept-Type:text/HDP"),
                  true, "127.0.0.20", "00:51:56:00:00:01", kId32, 4},
        ParseCase{"Register", Reply(kBody, "", "REGISTER * HDS/1.0"), true, "127.0.0.20",
                  "00:51:56:00:00:01", kId32, 4},
        ParseCase{"CamCount200", Reply("IP=1.2.3.4\r\ncam-count=200\r\n"), true, "1.2.3.4", "", "",
                  0},
        ParseCase{"FieldsBounded",
                  Reply("IP=" + std::string(40, '9') + "\nMAC=" + std::string(30, 'a') +
                        "\nDevice-ID=" + std::string(50, 'Z')),
                  true, std::string(15, '9'), std::string(17, 'a'), std::string(32, 'Z'), 0},
        ParseCase{"OtherClient", Reply(kBody, std::string(32, 'B')), false, "", "", "", 0},
        ParseCase{"NotOk", Reply(kBody, kClient, "HDS/1.0 404 Not Found"), false, "", "", "", 0},
        ParseCase{"WrongType", Reply(kBody, kClient, "HDS/1.0 200 OK", "Content-Type:text/x"),
                  false, "", "", "", 0},
        ParseCase{"OurOwnSearch", qvnet::BuildHdsSearch(1, kClient), false, "", "", "", 0},
        ParseCase{"NoBlankLine", "HDS/1.0 200 OK\r\nClient-ID:x", false, "", "", "", 0},
        ParseCase{"Garbage", std::string("\0\xff\r\n\r\nIP=1", 10), false, "", "", "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
