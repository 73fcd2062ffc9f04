#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "qvnet/qv_client.h"
#include "tools/devsim/qv_device.h"

namespace {

using devsim::QvFault;

class QvClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        devsim::QvDeviceConfig c;
        c.cam_count = 4;
        emu_ = std::make_unique<devsim::QvEmulator>(std::vector<devsim::QvDeviceConfig>{c}, false);
        std::string error;
        ASSERT_TRUE(emu_->Start(&error)) << error;
    }
    qvnet::QvClient Client(std::string password = "vupra", int timeout_ms = 2000) {
        return qvnet::QvClient("127.0.0.1", emu_->port(0), "admin", password, timeout_ms);
    }
    std::unique_ptr<devsim::QvEmulator> emu_;
};

TEST_F(QvClientTest, RequestBytesOnTheWire) {
    std::vector<uint8_t> payload{1, 2, 3};
    ASSERT_EQ(Client().Request(7, payload), qvnet::kOk);
    auto reqs = emu_->Requests(0);
    ASSERT_EQ(reqs.size(), 1u);
    const auto& raw = reqs[0].raw;
    ASSERT_EQ(raw.size(), 91u);
    EXPECT_EQ(std::memcmp(raw.data(), "qvnet01\0", 8), 0);
    EXPECT_EQ(qvnet::ReadU32(&raw[8]), 91u);
    EXPECT_EQ(qvnet::ReadU32(&raw[12]), 7u);
    EXPECT_EQ(qvnet::ReadU32(&raw[16]), 0u);
    EXPECT_EQ(qvnet::ReadU32(&raw[20]), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&raw[24]), "admin");
    EXPECT_STREQ(reinterpret_cast<const char*>(&raw[56]), "vupra");
    EXPECT_EQ(raw[88], 1);
    EXPECT_EQ(raw[90], 3);
    // A small write is stored and read back by its number.
    std::vector<uint8_t> got;
    emu_->SetRecord(0, 0x10000101, {9, 8, 7});
    ASSERT_EQ(Client().Request(0x10000101, {}, &got), qvnet::kOk);
    EXPECT_EQ(got, (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_EQ(emu_->Record(0, 7), payload);
}

TEST_F(QvClientTest, LoginRebootRestore) {
    std::vector<uint8_t> info;
    ASSERT_EQ(Client().Login(&info), qvnet::kOk);
    ASSERT_GE(info.size(), 68u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(info.data()), 32), emu_->device(0).device_id);
    auto reqs = emu_->Requests(0);
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].command, qvnet::kCommandLogin);
    EXPECT_EQ(reqs[0].payload.size(), 151u);
    // The device restarts without answering: the client sees the connection close.
    EXPECT_EQ(Client().Reboot(), qvnet::kBadReply);
    EXPECT_EQ(emu_->reboots(0), 1);
    emu_->SetRecord(0, 0x10000005, {1});
    EXPECT_EQ(Client().Restore(), qvnet::kOk);
    EXPECT_EQ(emu_->restores(0), 1);
    EXPECT_TRUE(emu_->Record(0, 0x10000005).empty());
    // Wrong password: the reply's word at 20 is set.
    EXPECT_EQ(Client("nope").Login(), qvnet::kBadReply);
}

struct FaultCase {
    const char* name;
    QvFault fault;
    int login_result;
};

// Test names carry the case name, not a dump of its bytes.
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class QvReplyFaultTest : public QvClientTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(QvReplyFaultTest, BadRepliesAreFailures) {
    emu_->SetFault(0, GetParam().fault);
    EXPECT_EQ(Client().Login(), GetParam().login_result);
    EXPECT_EQ(Client().Request(0x10000001, {}),
              GetParam().fault == QvFault::kNoLoginData ? qvnet::kOk : qvnet::kBadReply);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, QvReplyFaultTest,
    ::testing::Values(FaultCase{"BadMagic", QvFault::kBadMagic, qvnet::kBadReply},
                      FaultCase{"ShortLength", QvFault::kShortLength, qvnet::kBadReply},
                      FaultCase{"LongLength", QvFault::kLongLength, qvnet::kBadReply},
                      FaultCase{"Word20", QvFault::kWord20, qvnet::kBadReply},
                      FaultCase{"ClosedEarly", QvFault::kCloseEarly, qvnet::kBadReply},
                      FaultCase{"Truncated", QvFault::kTruncated, qvnet::kBadReply},
                      FaultCase{"NoLoginData", QvFault::kNoLoginData, qvnet::kLoginRefused}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QvClient, ConnectFailuresAndArguments) {
    // A port nobody listens on, an address that is not one, a silent listener.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    uint16_t closed_port = ntohs(a.sin_port);
    EXPECT_EQ(qvnet::QvClient("127.0.0.1", closed_port, "a", "b", 500).Reboot(),
              qvnet::kConnectFailed);
    EXPECT_EQ(qvnet::QvClient("not-an-ip", 80, "a", "b", 500).Reboot(), qvnet::kConnectFailed);
    ASSERT_EQ(listen(fd, 1), 0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(qvnet::QvClient("127.0.0.1", closed_port, "a", "b", 300).Reboot(), qvnet::kBadReply);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(250));
    close(fd);

    EXPECT_EQ(qvnet::QvClient("127.0.0.1", 1, "a", "b", 0).timeout_ms(), 5000);
    EXPECT_EQ(qvnet::QvClient("127.0.0.1", 1, "a", "b", 60001).timeout_ms(), 5000);
    EXPECT_EQ(qvnet::QvClient("127.0.0.1", 1, "a", "b", 60000).timeout_ms(), 60000);
    EXPECT_EQ(qvnet::QvClient("127.0.0.1", 1, "a", "b")
                  .Request(1, std::vector<uint8_t>(qvnet::kMaxPayloadBytes + 1)),
              qvnet::kBadArgument);
    // Long credentials are cut, never run past their fields.
    auto req = qvnet::BuildRequest(1, std::string(40, 'u'), std::string(40, 'p'), nullptr, 0);
    ASSERT_EQ(req.size(), 88u);
    EXPECT_EQ(req[55], 0);
    EXPECT_EQ(req[87], 0);
    EXPECT_EQ(req[54], 'u');
}

}  // namespace
