// The LAN search responder: search answers, network-parameter change by
// MAC, reboot. Multicast: only inside the test runner's private namespace.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "tests/devsim/fixture.h"
#include "tools/devsim/wire.h"

namespace devsim_test {
namespace {

constexpr std::size_t kAnswerMac = 40;  // where a search answer holds the MAC

class SearchTest : public EmulatorTest {
protected:
    void SetUp() override {
        if (!devsim::InPrivateNetworkNamespace())
            GTEST_SKIP() << "multicast only inside a private network namespace (scripts/test.sh)";
        // Where the SDK's search listens: port 6011, joined to the group.
        ASSERT_TRUE(replies_.Open(devsim::kSearchReplyPort, devsim::kSearchGroup));
        devsim::Config c;
        c.search = true;
        c.devices = {SmallDevice(0x00ABCDEF, 2), SmallDevice(0x00ABCDF0, 1)};
        Start(c);
    }
    // One datagram to 224.0.1.10:6022, as the SDK's search sends it.
    void SendRequest(uint16_t command, const Bytes& payload) {
        Bytes d = devsim::BuildMessage(command, 0, payload);
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        in_addr lo{};
        lo.s_addr = htonl(INADDR_LOOPBACK);
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &lo, sizeof lo);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(devsim::kSearchRequestPort);
        inet_pton(AF_INET, devsim::kSearchGroup, &to.sin_addr);
        sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        close(fd);
    }
    // The next reply of `command` that carries `mac` at `mac_offset`.
    std::optional<Msg> ReplyFrom(uint16_t command, const std::array<uint8_t, 6>& mac,
                                 size_t mac_offset, int timeout_ms = 3000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < deadline) {
            auto m = replies_.WaitFor(command, 200);
            if (m && m->payload.size() >= mac_offset + 6 &&
                std::memcmp(m->payload.data() + mac_offset, mac.data(), 6) == 0)
                return m;
        }
        return std::nullopt;
    }
    Bytes NetParaBlock(const std::array<uint8_t, 6>& mac, const char* ip, uint16_t port,
                       const char* name) {
        Bytes b(80, 0);
        std::memcpy(b.data(), name, std::strlen(name));
        uint32_t a = 0;
        devsim::ParseIpv4(ip, &a);
        std::memcpy(&b[24], &a, 4);
        devsim::ParseIpv4("255.255.255.0", &a);
        std::memcpy(&b[28], &a, 4);
        devsim::ParseIpv4("192.168.1.1", &a);
        std::memcpy(&b[32], &a, 4);
        for (size_t at : {36, 38, 46}) std::memcpy(&b[at], &port, 2);
        std::memcpy(&b[40], mac.data(), 6);
        return b;
    }
    LinkPeer replies_{LinkPeer::kMcast};
};

TEST_F(SearchTest, EveryDeviceAnswersASearchOnTheGroup) {
    SendRequest(0x0F06, {});
    for (int i = 0; i < 2; ++i) {
        auto r = ReplyFrom(zyn::wire::kSearchReply, dev(i).mac(), kAnswerMac);
        ASSERT_TRUE(r) << i;
        ASSERT_EQ(r->payload.size(), zyn::wire::SearchAnswer::kBytes);
        EXPECT_EQ(r->payload, dev(i).SearchReply());
        EXPECT_EQ(zyn::wire::SearchAnswer(r->payload.data()).device_id(), dev(i).device_id());
        EXPECT_EQ(zyn::wire::SearchAnswer(r->payload.data()).control_port(), ctl_port(i));
        EXPECT_EQ(zyn::wire::SearchAnswer(r->payload.data()).stream_port(), str_port(i));
        EXPECT_EQ(zyn::wire::SearchAnswer(r->payload.data()).channel_count(), i == 0 ? 2 : 1);
        EXPECT_EQ(zyn::wire::SearchAnswer(r->payload.data()).address(), 0x7F000001u);
        EXPECT_STREQ(
            reinterpret_cast<const char*>(zyn::wire::SearchAnswer(r->payload.data()).name()),
            i == 0 ? "ZynCam-11259375" : "ZynCam-11259376");
    }
    auto logged = emu_->log().WaitForCommand(0x0F06, 1000);
    ASSERT_TRUE(logged);
    EXPECT_EQ(logged->link, devsim::Link::kSearch);
    EXPECT_EQ(logged->raw, (Bytes{0x11, 0x11, 0x06, 0x0F, 0, 0, 0, 0}));
}

TEST_F(SearchTest, ChangeRequestIsAppliedToTheDeviceWithThatMac) {
    auto mac = dev(1).mac();
    SendRequest(0x0F02, NetParaBlock(mac, "192.168.1.77", 0, "Yard"));
    auto r = ReplyFrom(zyn::wire::kSearchModifyReply, mac, 4);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    SendRequest(0x0F06, {});
    auto s = ReplyFrom(zyn::wire::kSearchReply, mac, kAnswerMac);
    ASSERT_TRUE(s);
    EXPECT_EQ(zyn::wire::SearchAnswer(s->payload.data()).address(), 0xC0A8014Du);
    EXPECT_EQ(zyn::wire::SearchAnswer(s->payload.data()).mask(), 0xFFFFFF00u);
    EXPECT_STREQ(reinterpret_cast<const char*>(zyn::wire::SearchAnswer(s->payload.data()).name()),
                 "Yard");
    // Device 0 is untouched.
    EXPECT_EQ(zyn::wire::SearchAnswer(dev(0).SearchReply().data()).address(), 0x7F000001u);

    // Another MAC, or a block of the wrong size: nobody answers.
    std::array<uint8_t, 6> other{1, 2, 3, 4, 5, 6};
    SendRequest(0x0F02, NetParaBlock(other, "10.0.0.1", 0, "x"));
    SendRequest(0x0F02, Bytes(79, 0));
    EXPECT_FALSE(ReplyFrom(zyn::wire::kSearchModifyReply, other, 4, 500));
}

TEST_F(SearchTest, ChangedPortMovesTheDevice) {
    auto mac = dev(0).mac();
    SendRequest(0x0F02, NetParaBlock(mac, "127.0.0.1", 23456, ""));
    ASSERT_TRUE(ReplyFrom(zyn::wire::kSearchModifyReply, mac, 4));
    ASSERT_TRUE(WaitUntil([&] { return ctl_port() == 23456 && dev().IsUp(); }, 3000));
    EXPECT_EQ(str_port(), 23457);
    LinkPeer ctl;
    EXPECT_TRUE(Login(ctl, 23456));
}

TEST_F(SearchTest, RebootRequestRebootsTheDevice) {
    auto mac = dev(0).mac();
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    SendRequest(0x0F03, NetParaBlock(mac, "127.0.0.1", 0, ""));
    ASSERT_TRUE(ReplyFrom(zyn::wire::kSearchRebootReply, mac, 4));
    EXPECT_TRUE(ctl.WaitLost(3000));
    EXPECT_TRUE(dev(0).WaitUntilUp(1, 5000));
    EXPECT_EQ(dev(1).RebootCount(), 0);
}

TEST_F(SearchTest, MalformedDatagramsAreLoggedAndIgnored) {
    SendRequest(0x0F06, {});
    ASSERT_TRUE(ReplyFrom(zyn::wire::kSearchReply, dev(0).mac(), kAnswerMac));
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(devsim::kSearchRequestPort);
    inet_pton(AF_INET, devsim::kSearchGroup, &to.sin_addr);
    uint8_t bad[] = {0x12, 0x11, 0x06, 0x0F, 0, 0, 0, 0};
    sendto(fd, bad, sizeof bad, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(fd);
    ASSERT_TRUE(emu_->log().WaitFor([](const auto& m) { return m.malformed; }, 2000));
    SendRequest(0x0F06, {});
    EXPECT_TRUE(ReplyFrom(zyn::wire::kSearchReply, dev(1).mac(), kAnswerMac));
}

TEST(SearchOutsideNamespace, ResponderDoesNotStart) {
    if (devsim::InPrivateNetworkNamespace()) GTEST_SKIP() << "inside a private namespace";
    devsim::Config c;
    c.search = true;
    c.devices = {SmallDevice()};
    devsim::Emulator e(c);
    std::string error;
    EXPECT_FALSE(e.Start(&error));
    EXPECT_NE(error.find("private network namespace"), std::string::npos);
}

}  // namespace
}  // namespace devsim_test
