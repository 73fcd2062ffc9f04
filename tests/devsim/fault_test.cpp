// Faults switched on from the in-process API, and bad input from clients.
#include <chrono>
#include <random>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <thread>

#include "tests/devsim/fixture.h"
#include "tools/devsim/wire.h"

namespace devsim_test {
namespace {

using devsim::FaultAction;
using Clock = std::chrono::steady_clock;

class FaultTest : public EmulatorTest {
protected:
    void StartLoggedIn(devsim::DeviceConfig d = SmallDevice()) {
        StartDevice(std::move(d));
        ASSERT_TRUE(Login(ctl_, ctl_port()));
    }
    // Logs in over a raw socket and reads the login reply.
    void RawLogin(RawSocket& s) {
        ASSERT_TRUE(s.Connect(ctl_port()));
        ASSERT_TRUE(s.SendBytes(devsim::BuildMessage(0x0101, 0, LoginPayload("admin", "admin"))));
        Bytes reply;
        ASSERT_TRUE(s.ReadMessage(&reply, 3000));
        ASSERT_EQ(GetU16(reply, 2), 0x8101);
    }
    LinkPeer ctl_;
};

TEST_F(FaultTest, KeepAlivesGoUnansweredWhileOtherRequestsAreAnswered) {
    StartLoggedIn();
    dev().SetAnswerKeepAlive(false);
    EXPECT_FALSE(ctl_.Request(0x0103, {}, 0x8103, 400));
    auto r = ctl_.Request(0x0501, {}, 0x8501);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    dev().SetAnswerKeepAlive(true);
    EXPECT_TRUE(ctl_.Request(0x0103, {}, 0x8103));
    EXPECT_EQ(emu_->log().Count(0x0103), 2u);  // both were received
}

TEST_F(FaultTest, ClosingTheControlConnectionEndsTheSessionAndItsStreams) {
    StartLoggedIn();
    auto r = ctl_.Request(0x0201, StreamRequestPayload(0, 0, 1, 0), 0x8201);
    ASSERT_TRUE(r);
    dev().CloseControlConnections();
    EXPECT_TRUE(ctl_.WaitLost(3000));
    EXPECT_EQ(dev().LoggedInSessions(), 0);
    EXPECT_TRUE(dev().Streams().empty());
    LinkPeer again;
    EXPECT_TRUE(Login(again, ctl_port()));
}

TEST_F(FaultTest, ClosedStreamConnectionCanBeReplacedAndResumesWithAKeyFrame) {
    StartLoggedIn();
    auto r = ctl_.Request(0x0201, StreamRequestPayload(0, 0, 1, 0), 0x8201);
    ASSERT_TRUE(r);
    uint16_t key = r->Word();
    LinkPeer str;
    ASSERT_TRUE(str.Open(str_port()));
    str.Send(0x0202, U32(key));
    ASSERT_EQ(CollectFrames(str, 3, 3000).size(), 3u);
    dev().CloseStreamConnections();
    EXPECT_TRUE(str.WaitLost(3000));
    EXPECT_FALSE(ctl_.lost());
    LinkPeer str2;
    ASSERT_TRUE(str2.Open(str_port()));
    str2.Send(0x0202, U32(key));
    auto frames = CollectFrames(str2, 2, 3000);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].type(), 7);
    EXPECT_GT(frames[0].number(), 2u);
}

TEST_F(FaultTest, StalledChannelStopsWhileOthersGoOn) {
    StartLoggedIn();
    LinkPeer str;
    ASSERT_TRUE(str.Open(str_port()));
    for (uint8_t ch : {0, 1}) {
        auto r = ctl_.Request(0x0201, StreamRequestPayload(0, ch, 1, 0), 0x8201);
        ASSERT_TRUE(r);
        str.Send(0x0202, U32(r->Word()));
    }
    ASSERT_EQ(CollectFrames(str, 2, 3000, 1, 0).size(), 2u);
    dev().StallChannel(1, true);
    // Whatever was already queued drains; then channel 0 goes on alone.
    CollectFrames(str, 3, 3000, 0, 0);
    auto count_ch1 = [&](int frames_of_ch0) {
        int ch1 = 0, ch0 = 0;
        while (ch0 < frames_of_ch0) {
            auto m = str.WaitFor(0x0301, 3000);
            if (!m) break;
            if (m->payload[6] != 0) continue;  // first fragments only
            (m->payload[1] == 0 ? ch0 : ch1)++;
        }
        return ch1;
    };
    EXPECT_EQ(count_ch1(10), 0);
    dev().StallChannel(1, false);
    auto resumed = CollectFrames(str, 1, 3000, 1, 0);
    ASSERT_EQ(resumed.size(), 1u);
    EXPECT_EQ(resumed[0].type(), 7);
}

TEST_F(FaultTest, RepliesCanBeDelayedDroppedOrRefused) {
    StartLoggedIn();
    dev().SetReplyDelay(300);
    auto t0 = Clock::now();
    EXPECT_TRUE(ctl_.Request(0x0103, {}, 0x8103));
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(290));
    dev().SetReplyDelay(0);

    dev().AddReplyFault({0x0501, FaultAction::kDrop, 0, 1});
    EXPECT_FALSE(ctl_.Request(0x0501, {}, 0x8501, 400));
    EXPECT_TRUE(ctl_.Request(0x0501, {}, 0x8501));  // count 1: only the first

    const Bytes before = dev().Param(0x0503, 0);
    dev().AddReplyFault({0, FaultAction::kResult, 7, 2});
    Bytes set = ChannelPrefix(0);
    set.resize(96, 0x11);
    auto r = ctl_.Request(0x0504, set, 0x8504);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 7);
    EXPECT_EQ(dev().Param(0x0503, 0), before);  // refused: not stored
    r = ctl_.Request(0x0503, ChannelPrefix(0), 0x8503);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 7);
    EXPECT_EQ(r->payload.size(), 4u);
    r = ctl_.Request(0x0503, ChannelPrefix(0), 0x8503);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
}

TEST_F(FaultTest, LateReplyComesAfterThreeSeconds) {
    StartLoggedIn();
    dev().AddReplyFault({0x0513, FaultAction::kDelay, 3200, 1});
    auto t0 = Clock::now();
    ctl_.Send(0x0513, {});
    EXPECT_FALSE(ctl_.WaitFor(0x8513, 3000));
    auto r = ctl_.WaitFor(0x8513, 2000);
    ASSERT_TRUE(r);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(3150));
    EXPECT_EQ(r->payload.size(), 4u + 328u);
}

TEST_F(FaultTest, GarbageAndTruncatedRepliesHaveTheDocumentedBytes) {
    StartDevice(SmallDevice());
    RawSocket s;
    RawLogin(s);
    dev().AddReplyFault({0x0103, FaultAction::kGarbage, 40, 1});
    ASSERT_TRUE(s.SendBytes(devsim::BuildMessage(0x0103, 0, {})));
    Bytes garbage;
    ASSERT_TRUE(s.ReadExact(40, &garbage, 3000));
    EXPECT_EQ(garbage[0], 0xA5);
    EXPECT_EQ(std::count(garbage.begin(), garbage.end(), 0x11), 0);
    // The next reply is whole again.
    ASSERT_TRUE(s.SendBytes(devsim::BuildMessage(0x0103, 0, {})));
    Bytes reply;
    ASSERT_TRUE(s.ReadMessage(&reply, 3000));
    EXPECT_EQ(reply, devsim::BuildMessage(0x8103, 0, {0, 0, 0, 0}));

    dev().AddReplyFault({0x0505, FaultAction::kTruncate, 0, 1});
    ASSERT_TRUE(s.SendBytes(devsim::BuildMessage(0x0505, 0, ChannelPrefix(0))));
    Bytes cut;
    ASSERT_TRUE(s.ReadExact(8 + 4, &cut, 3000));  // 8 payload bytes announced, 4 sent
    EXPECT_EQ(GetU16(cut, 2), 0x8505);
    EXPECT_EQ(GetU16(cut, 6), 8);
    Bytes more;
    EXPECT_FALSE(s.ReadExact(1, &more, 300));
}

TEST_F(FaultTest, GarbageAndTruncatedMessagesOnDemand) {
    StartDevice(SmallDevice());
    RawSocket ctl, str;
    RawLogin(ctl);
    ASSERT_TRUE(str.Connect(str_port()));
    // The stream connection must be known to the device before it sends.
    ASSERT_TRUE(WaitUntil([&] { return dev().StreamConnections() == 1; }, 3000));
    dev().SendGarbage(false, 25);
    dev().SendGarbage(true, 30);
    Bytes g;
    ASSERT_TRUE(ctl.ReadExact(25, &g, 3000));
    EXPECT_EQ(g[0], 0xA5);
    ASSERT_TRUE(str.ReadExact(30, &g, 3000));
    EXPECT_EQ(g[0], 0xA5);
    dev().SendTruncated(false);
    Bytes t;
    ASSERT_TRUE(ctl.ReadExact(13, &t, 3000));
    EXPECT_EQ(GetU16(t, 2), zyn::wire::kAlarmReport);
    EXPECT_EQ(GetU16(t, 6), 12);
}

TEST_F(FaultTest, RefusedLogins) {
    StartDevice(SmallDevice());
    dev().SetRefuseLogins(true);
    LinkPeer ctl;
    EXPECT_FALSE(Login(ctl, ctl_port()));
    dev().SetRefuseLogins(false);
    auto r = ctl.Request(0x0101, LoginPayload("admin", "admin"), 0x8101);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    dev().AddReplyFault({0x0101, FaultAction::kResult, 0, 1});  // value 0 means result 1
    r = ctl.Request(0x0101, LoginPayload("admin", "admin"), 0x8101);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 1);
}

TEST_F(FaultTest, RebootOnDemandClosesThePortsForItsDelay) {
    auto d = SmallDevice();
    d.reboot_delay_ms = 600;
    StartLoggedIn(d);
    uint16_t port = ctl_port();
    dev().Reboot();
    EXPECT_TRUE(ctl_.WaitLost(3000));
    EXPECT_FALSE(dev().IsUp());
    RawSocket s;
    EXPECT_FALSE(s.Connect(port));  // nothing listens while rebooting
    ASSERT_TRUE(dev().WaitUntilUp(1, 5000));
    EXPECT_TRUE(s.Connect(port));
}

TEST_F(FaultTest, IdleSessionsAreDropped) {
    auto d = SmallDevice();
    d.session_idle_timeout_ms = 300;
    StartLoggedIn(d);
    EXPECT_TRUE(ctl_.WaitLost(4000));
    EXPECT_EQ(dev().LoggedInSessions(), 0);
}

TEST_F(FaultTest, GarbageFromTheClientIsLoggedAndSkipped) {
    StartDevice(SmallDevice());
    RawSocket s;
    RawLogin(s);
    Bytes garbage = {0x00, 0xFF, 0x13, 0x37, 0x11, 0x42};
    Bytes bytes = garbage;
    Bytes ka = devsim::BuildMessage(0x0103, 0, {});
    bytes.insert(bytes.end(), ka.begin(), ka.end());
    // Sent one byte at a time: the device must put the message together.
    for (uint8_t b : bytes) ASSERT_TRUE(s.SendBytes({b}));
    Bytes reply;
    ASSERT_TRUE(s.ReadMessage(&reply, 3000));
    EXPECT_EQ(GetU16(reply, 2), 0x8103);
    auto bad = emu_->log().WaitFor([](const auto& m) { return m.malformed; }, 1000);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->raw, garbage);
    EXPECT_EQ(emu_->log().MalformedCount(), 1u);
}

TEST_F(FaultTest, RandomMessagesNeverHurtTheDevice) {
    StartDevice(SmallDevice());
    std::mt19937 rng(12345);
    for (int round = 0; round < 3; ++round) {
        RawSocket s;
        RawLogin(s);
        RawSocket st;
        ASSERT_TRUE(st.Connect(str_port()));
        for (int i = 0; i < 300; ++i) {
            uint16_t cmd = static_cast<uint16_t>(rng() % 0x0620);
            if (cmd == 0x0404 || cmd == 0x0102) cmd = 0x0103;  // keep the session
            Bytes payload(rng() % 200);
            for (auto& b : payload) b = static_cast<uint8_t>(rng());
            Bytes msg = devsim::BuildMessage(cmd, static_cast<uint16_t>(rng()), payload);
            if (rng() % 10 == 0) msg.resize(rng() % msg.size());  // cut short: desyncs
            ASSERT_TRUE(s.SendBytes(msg));
            if (rng() % 2) st.SendBytes(msg);
        }
        s.Close();
        st.Close();
    }
    // Still serving.
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    EXPECT_TRUE(ctl.Request(0x0103, {}, 0x8103));
    EXPECT_GT(emu_->log().Snapshot().size(), 300u);
}

TEST_F(FaultTest, UdpControlSurvivesBrokenDatagrams) {
    auto d = SmallDevice();
    d.control_transport = devsim::ControlTransport::kUdp;
    StartDevice(d);
    LinkPeer udp(LinkPeer::kUdp);
    ASSERT_TRUE(udp.Open(ctl_port()));
    auto r = udp.Request(0x0101, LoginPayload("admin", "admin"), 0x8101);
    ASSERT_TRUE(r);
    // A header that promises more than the datagram holds is logged as malformed.
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(ctl_port());
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Bytes bad = {0x11, 0x11, 0x03, 0x01, 0, 0, 50, 0, 1, 2};
    sendto(fd, bad.data(), bad.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    close(fd);
    ASSERT_TRUE(emu_->log().WaitFor([](const auto& m) { return m.malformed; }, 2000));
    EXPECT_TRUE(udp.Request(0x0103, {}, 0x8103));
}

}  // namespace
}  // namespace devsim_test
