// CMCastClient. Multicast traffic may only exist inside the private network
// namespace of the test runner; elsewhere these tests skip themselves.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "link_test_util.h"
#include "linkcore/linkcore.h"

namespace {

using linktest::Bytes;
using linktest::Frame;
using linktest::Pattern;
using linktest::RawUdp;
using linktest::Recorder;

constexpr const char* kGroup = "239.255.42.99";

// True when the only network device is the loopback.
bool InPrivateNamespace() {
    std::ifstream dev("/proc/self/net/dev");
    std::string line;
    int devices = 0;
    bool only_lo = true;
    while (std::getline(dev, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || line.find('|') != std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        ++devices;
        if (name != "lo") only_lo = false;
    }
    return devices > 0 && only_lo;
}

#define REQUIRE_NETNS()                                                           \
    do {                                                                          \
        if (!InPrivateNamespace()) GTEST_SKIP() << "needs scripts/in_netns.sh";   \
    } while (0)

TEST(MCast, RoundTripBetweenMembers) {
    REQUIRE_NETNS();
    Recorder ra;
    Recorder rb;
    CMCastClient a;
    CMCastClient b;
    a.RegisterCallback(1, &Recorder::Callback, &ra);
    b.RegisterCallback(2, &Recorder::Callback, &rb);
    ASSERT_NE(a.Open(kGroup, 0), 0);
    const uint16_t port = a.LocalPort();
    ASSERT_NE(port, 0);
    // A second member binds the same port (address reuse).
    ASSERT_NE(b.Open(kGroup, port), 0);
    EXPECT_EQ(b.LocalPort(), port);
    const Bytes p = Pattern(300, 5);
    ASSERT_EQ(b.SendMessage(0x0F06, 0, p.data(), 300), 308);
    ASSERT_TRUE(ra.WaitCount(0x0F06, 1));
    ASSERT_TRUE(rb.WaitCount(0x0F06, 1));  // looped back to the sender too
    const auto ev = ra.Events();
    EXPECT_EQ(ev[0].kind, linkcore::kLinkMCastClient);
    EXPECT_EQ(ev[0].id, 1);
    EXPECT_EQ(ev[0].payload, p);
}

TEST(MCast, RawSenderAndMalformedDatagrams) {
    REQUIRE_NETNS();
    Recorder r;
    CMCastClient c;
    c.RegisterCallback(9, &Recorder::Callback, &r);
    ASSERT_NE(c.Open(kGroup, 0), 0);
    const uint16_t port = c.LocalPort();
    RawUdp sender;
    Bytes bad = Frame(0x0F02, 0, Pattern(8, 1));
    bad[0] = 0;
    ASSERT_TRUE(sender.SendToAddress(kGroup, port, bad));
    ASSERT_TRUE(sender.SendToAddress(kGroup, port, Frame(0x0F03, 4, Pattern(8, 1))));
    ASSERT_TRUE(r.WaitCount(0x0F03, 1));
    EXPECT_EQ(r.Size(), 1u);
    EXPECT_EQ(r.Events()[0].second_word, 4);
    c.Close();
    EXPECT_EQ(c.IsConnected(), 0);
    ASSERT_TRUE(sender.SendToAddress(kGroup, port, Frame(0x0F04, 0, {})));
    EXPECT_FALSE(r.WaitCount(0x0F04, 1, 100));
    // Open after Close joins again.
    ASSERT_NE(c.Open(kGroup, port), 0);
    ASSERT_TRUE(sender.SendToAddress(kGroup, port, Frame(0x0F05, 0, {})));
    EXPECT_TRUE(r.WaitCount(0x0F05, 1));
}

TEST(MCast, OpenRejectsNonGroupAddresses) {
    CMCastClient c;
    EXPECT_EQ(c.Open("127.0.0.1", 6000), 0);
    EXPECT_EQ(c.Open(nullptr, 6000), 0);
    EXPECT_EQ(c.Open("224.0.1.999", 6000), 0);
    EXPECT_EQ(c.SendMessage(1, 0, nullptr, 0), -1);
}

}  // namespace
