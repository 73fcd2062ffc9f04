// Login, keep-alive, logout and clock set, over TCP and UDP control.
#include <cstring>
#include <ctime>

#include "tests/devsim/fixture.h"

namespace devsim_test {
namespace {

using devsim::ControlTransport;

class SessionTest : public EmulatorTest {};

TEST_F(SessionTest, GoodLoginAnswersWithTheDeviceInformation) {
    auto d = SmallDevice(0x01020304, 3);
    d.accounts = {{"admin", "admin"}, {"viewer", "secret12"}};
    d.name = "Gate cam";
    StartDevice(d);
    LinkPeer ctl;
    ASSERT_TRUE(ctl.Open(ctl_port()));
    auto r = ctl.Request(0x0101, LoginPayload("viewer", "secret12"), 0x8101);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->second_word, 0);
    ASSERT_EQ(r->payload.size(), 4u + 88u);
    EXPECT_EQ(r->Result(), 0);
    EXPECT_NE(r->Word(), 0);  // session number
    Bytes block(r->payload.begin() + 4, r->payload.end());
    EXPECT_EQ(block, dev().DeviceInfo());
    EXPECT_STREQ(reinterpret_cast<const char*>(zyn::wire::DeviceInfo(block.data()).name()),
                 "Gate cam");
    EXPECT_EQ(zyn::wire::DeviceInfo(block.data()).device_id(), 0x01020304u);
    EXPECT_EQ(zyn::wire::DeviceInfo(block.data()).channel_count(), 3);
    EXPECT_EQ(zyn::wire::DeviceInfo(block.data()).audio_format(), 1);
    EXPECT_EQ(zyn::wire::DeviceInfo(block.data()).control_port(), ctl_port());
    EXPECT_EQ(zyn::wire::DeviceInfo(block.data()).stream_port(), str_port());
    EXPECT_EQ(zyn::wire::DeviceInfo(block.data()).main_resolution(), 2);  // 352x288
    auto mac = dev().mac();
    EXPECT_EQ(0, std::memcmp(zyn::wire::DeviceInfo(block.data()).mac(), mac.data(), 6));
    EXPECT_EQ(dev().LoggedInSessions(), 1);

    // The login is logged with its exact bytes.
    auto logged = emu_->log().WaitForCommand(0x0101, 1000);
    ASSERT_TRUE(logged);
    Bytes expect = {0x11, 0x11, 0x01, 0x01, 0x00, 0x00, 40, 0};
    Bytes payload = LoginPayload("viewer", "secret12");
    expect.insert(expect.end(), payload.begin(), payload.end());
    EXPECT_EQ(logged->raw, expect);
    EXPECT_EQ(logged->link, devsim::Link::kControlTcp);
}

TEST_F(SessionTest, BadAccountsAreRefusedAndLeaveTheSessionLoggedOut) {
    StartDevice(SmallDevice());
    LinkPeer ctl;
    ASSERT_TRUE(ctl.Open(ctl_port()));
    for (auto [user, pass] :
         {std::pair{"admin", "wrong"}, {"nobody", "admin"}, {"", ""}, {"adminx", "admin"}}) {
        auto r = ctl.Request(0x0101, LoginPayload(user, pass), 0x8101);
        ASSERT_TRUE(r) << user;
        EXPECT_EQ(r->Result(), devsim::kResultBadAccount) << user;
        EXPECT_EQ(r->payload.size(), 4u);
    }
    // Not logged in: requests are refused, commands without replies ignored.
    auto r = ctl.Request(0x0103, {}, 0x8103);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultNotLoggedIn);
    r = ctl.Request(0x0501, {}, 0x8501);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultNotLoggedIn);
    EXPECT_EQ(dev().LoggedInSessions(), 0);
    // A login with a wrong payload length.
    r = ctl.Request(0x0101, Bytes(128, 0), 0x8101);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
}

TEST_F(SessionTest, LongAccountNamesCompareTheirFirstEightBytes) {
    auto d = SmallDevice();
    d.accounts = {{"operator99", "password1"}};
    StartDevice(d);
    LinkPeer ctl;
    EXPECT_TRUE(Login(ctl, ctl_port(), "operator", "password"));
}

TEST_F(SessionTest, NewerDeviceAnswersWith0x8588AndTheTalkFormatBytes) {
    auto d = SmallDevice();
    d.newer = true;
    d.audio_format = 2;
    StartDevice(d);
    LinkPeer ctl;
    ASSERT_TRUE(ctl.Open(ctl_port()));
    auto r = ctl.Request(0x0101, LoginPayload("admin", "admin"), 0x8588);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 4u + 504u);
    EXPECT_EQ(r->Result(), 0);
    Bytes block(r->payload.begin() + 4, r->payload.end());
    EXPECT_EQ(block[120], 1);  // talk format: G.711
    EXPECT_EQ(block[121], 2);  // the audio format number
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 88), dev().DeviceInfo());
    EXPECT_EQ(block, dev().ExtendedInfo());
    EXPECT_EQ(zyn::wire::DeviceInfo(block.data()).main_width(), 352);
    // A refused login of a newer device also uses 0x8588.
    r = ctl.Request(0x0101, LoginPayload("admin", "x"), 0x8588);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadAccount);
}

TEST_F(SessionTest, KeepAliveLogoutAndUnknownRequests) {
    StartDevice(SmallDevice());
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    for (int i = 0; i < 3; ++i) {
        auto r = ctl.Request(0x0103, {}, 0x8103);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->payload, (Bytes{0, 0, 0, 0}));
    }
    auto r = ctl.Request(0x0103, {1, 2}, 0x8103);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
    r = ctl.Request(0x0777, {1, 2, 3}, 0x8777);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultUnsupported);

    r = ctl.Request(0x0102, {}, 0x8102);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    EXPECT_EQ(dev().LoggedInSessions(), 0);
    r = ctl.Request(0x0503, ChannelPrefix(0), 0x8503);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultNotLoggedIn);
    // The connection stays: a new login on it works.
    r = ctl.Request(0x0101, LoginPayload("admin", "admin"), 0x8101);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
}

TEST_F(SessionTest, ClockSetIsStoredAndDrivesTheTimeStamps) {
    StartDevice(SmallDevice());
    LinkPeer ctl, str;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    Bytes clock = {0xEE, 0x07, 0x01, 0x00, 2, 3, 4, 5};  // 2030-01-02 03:04:05
    ASSERT_GT(ctl.Send(0x0586, clock), 0);
    auto logged = emu_->log().WaitForCommand(0x0586, 2000);
    ASSERT_TRUE(logged);
    EXPECT_EQ(logged->payload, clock);
    // Requests are handled in order, so after this reply the clock is set.
    ASSERT_TRUE(ctl.Request(0x0103, {}, 0x8103));
    auto c = dev().LastClockSet();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->year, 2030);
    EXPECT_EQ(c->month, 1);
    EXPECT_EQ(c->day, 2);
    EXPECT_EQ(c->hour, 3);
    EXPECT_EQ(c->minute, 4);
    EXPECT_EQ(c->second, 5);

    auto r = ctl.Request(0x0201, StreamRequestPayload(0, 0, 1, 0), 0x8201);
    ASSERT_TRUE(r);
    ASSERT_TRUE(str.Open(str_port()));
    str.Send(0x0202, U32(r->Word()));
    auto frames = CollectFrames(str, 1, 3000);
    ASSERT_EQ(frames.size(), 1u);
    const uint32_t set_time = 1893553445;  // 2030-01-02 03:04:05 UTC
    EXPECT_GE(frames[0].seconds(), set_time);
    EXPECT_LE(frames[0].seconds(), set_time + 30);
    EXPECT_LT(frames[0].millis(), 1000);

    // Nonsense dates are ignored.
    ctl.Send(0x0586, Bytes{0xEE, 0x07, 13, 0, 2, 3, 4, 5});
    ASSERT_TRUE(ctl.Request(0x0103, {}, 0x8103));
    EXPECT_EQ(dev().LastClockSet()->month, 1);
}

TEST_F(SessionTest, ControlOverUdp) {
    auto d = SmallDevice();
    d.control_transport = ControlTransport::kUdp;
    StartDevice(d);
    LinkPeer ctl(LinkPeer::kUdp);
    ASSERT_TRUE(ctl.Open(ctl_port()));
    auto r = ctl.Request(0x0101, LoginPayload("admin", "admin"), 0x8101);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    r = ctl.Request(0x0103, {}, 0x8103);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    auto logged = emu_->log().WaitForCommand(0x0103, 1000);
    ASSERT_TRUE(logged);
    EXPECT_EQ(logged->link, devsim::Link::kControlUdp);
    // No TCP listener on the control port.
    LinkPeer tcp;
    tcp.client()->SetConnectTimeout(500);
    EXPECT_FALSE(tcp.Open(ctl_port()));
}

TEST_F(SessionTest, BothControlTransportsOnOnePort) {
    auto d = SmallDevice();
    d.control_transport = ControlTransport::kBoth;
    StartDevice(d);
    LinkPeer udp(LinkPeer::kUdp), tcp;
    ASSERT_TRUE(udp.Open(ctl_port()));
    auto r = udp.Request(0x0101, LoginPayload("admin", "admin"), 0x8101);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    EXPECT_TRUE(Login(tcp, ctl_port()));
    EXPECT_EQ(dev().LoggedInSessions(), 2);
}

TEST_F(SessionTest, SeveralDevicesHaveTheirOwnPortsAndIds) {
    devsim::Config c;
    for (uint32_t id : {11u, 12u, 13u}) c.devices.push_back(SmallDevice(id, 1));
    Start(c);
    for (int i = 0; i < 3; ++i) {
        LinkPeer ctl;
        ASSERT_TRUE(ctl.Open(ctl_port(i)));
        auto r = ctl.Request(0x0101, LoginPayload("admin", "admin"), 0x8101);
        ASSERT_TRUE(r);
        EXPECT_EQ(zyn::wire::DeviceInfo(r->payload.data() + 4).device_id(), 11u + i);
        EXPECT_EQ(emu_->log().Count(0x0101, i), 1u);
    }
    EXPECT_NE(ctl_port(0), ctl_port(1));
    EXPECT_NE(str_port(0), str_port(2));
}

TEST_F(SessionTest, InvalidConfigurationsDoNotStart) {
    for (auto change : std::vector<std::function<void(devsim::DeviceConfig&)>>{
             [](auto& d) { d.channel_count = 5; }, [](auto& d) { d.channel_count = 0; },
             [](auto& d) { d.main.width = 351; }, [](auto& d) { d.audio_format = 3; },
             [](auto& d) { d.accounts.clear(); }, [](auto& d) { d.fragment_bytes = 0; }}) {
        auto d = SmallDevice();
        change(d);
        devsim::Config c;
        c.devices.push_back(d);
        devsim::Emulator e(c);
        std::string error;
        EXPECT_FALSE(e.Start(&error));
        EXPECT_FALSE(error.empty());
    }
    devsim::Config c;
    c.bind_address = "localhost";  // not an address
    devsim::Emulator e(c);
    std::string error;
    EXPECT_FALSE(e.Start(&error));
}

TEST_F(SessionTest, BusyPortIsReported) {
    StartDevice(SmallDevice());
    auto d = SmallDevice();
    d.control_port = ctl_port();
    d.stream_port = static_cast<uint16_t>(ctl_port() + 1);
    devsim::Config c;
    c.devices.push_back(d);
    devsim::Emulator second(c);
    std::string error;
    EXPECT_FALSE(second.Start(&error));
    EXPECT_NE(error.find("cannot open ports"), std::string::npos) << error;
}

}  // namespace
}  // namespace devsim_test
