// CUdpClient and CUdpServer, with raw UDP sockets as scripted peers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link_test_util.h"
#include "linkcore/diagnostics.h"
#include "linkcore/linkcore.h"

namespace {

using linktest::Bytes;
using linktest::Event;
using linktest::Frame;
using linktest::Pattern;
using linktest::RawUdp;
using linktest::Recorder;

struct UdpServer {
    Recorder recorder;
    CUdpServer server;
    uint16_t port = 0;
    UdpServer() {
        server.SetBindAddress("127.0.0.1");
        server.RegisterCallback(&Recorder::Callback, &recorder);
        EXPECT_NE(server.Open(0, 0), 0);
        port = server.LocalPort();
        EXPECT_NE(port, 0);
    }
};

TEST(Udp, ClientServerRoundTrip) {
    UdpServer s;
    Recorder client_events;
    CUdpClient client;
    client.RegisterCallback(5, &Recorder::Callback, &client_events);
    ASSERT_NE(client.Open("127.0.0.1", s.port), 0);
    EXPECT_NE(client.IsConnected(), 0);
    EXPECT_NE(client.LocalPort(), 0);
    const Bytes p = Pattern(1400, 4);
    ASSERT_EQ(client.SendMessage(0x0202, 9, p.data(), 1400), 1408);
    ASSERT_TRUE(s.recorder.WaitCount(0x0202, 1));
    auto ev = s.recorder.Events();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].kind, linkcore::kLinkUdpServer);
    EXPECT_EQ(ev[0].command, linkcore::kCmdAccepted);
    const int h = ev[0].id;
    EXPECT_GT(h, 0);
    EXPECT_EQ(ev[1].id, h);
    EXPECT_EQ(ev[1].second_word, 9);
    EXPECT_EQ(ev[1].payload, p);
    // Later datagrams from the same sender belong to the same connection.
    ASSERT_EQ(client.SendMessage(0x0203, 0, nullptr, 0), 8);
    ASSERT_TRUE(s.recorder.WaitCount(0x0203, 1));
    EXPECT_EQ(s.recorder.Count(linkcore::kCmdAccepted), 1u);
    // And the server answers that connection.
    ASSERT_EQ(s.server.SendMessage(h, 0x8202, 1, p.data(), 100), 108);
    ASSERT_TRUE(client_events.WaitCount(0x8202, 1));
    ev = client_events.Events();
    EXPECT_EQ(ev[0].kind, linkcore::kLinkUdpClient);
    EXPECT_EQ(ev[0].id, 5);
    EXPECT_EQ(ev[0].payload, Bytes(p.begin(), p.begin() + 100));
}

TEST(Udp, ServerDropsMalformedDatagrams) {
    UdpServer s;
    RawUdp peer;
    const uint64_t dropped = linkcore::GetCounters().datagrams_dropped.load();
    const Bytes good = Frame(0x0101, 0, Pattern(20, 1));
    Bytes bad_sync = good;
    bad_sync[1] = 0x12;
    const Bytes truncated(good.begin(), good.end() - 1);  // header says 20, 19 come
    Bytes trailing = good;
    trailing.push_back(0xAA);
    const Bytes short_header = {0x11, 0x11, 0x01, 0x01};
    for (const Bytes& b : {bad_sync, truncated, trailing, short_header}) {
        ASSERT_TRUE(peer.SendTo(s.port, b));
    }
    ASSERT_TRUE(peer.SendTo(s.port, good));
    ASSERT_TRUE(s.recorder.WaitCount(0x0101, 1));
    const auto ev = s.recorder.Events();
    // Malformed datagrams neither made a connection nor reached the host.
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].command, linkcore::kCmdAccepted);
    EXPECT_EQ(ev[1].payload, Pattern(20, 1));
    EXPECT_EQ(linkcore::GetCounters().datagrams_dropped.load(), dropped + 4);
}

TEST(Udp, ServerTellsSendersApartAndForgetsOnClose) {
    UdpServer s;
    RawUdp a;
    RawUdp b;
    ASSERT_TRUE(a.SendTo(s.port, Frame(1, 0, {})));
    ASSERT_TRUE(s.recorder.WaitCount(1, 1));
    ASSERT_TRUE(b.SendTo(s.port, Frame(2, 0, {})));
    ASSERT_TRUE(s.recorder.WaitCount(2, 1));
    int ha = 0, hb = 0;
    for (const Event& e : s.recorder.Events()) {
        if (e.command == 1) ha = e.id;
        if (e.command == 2) hb = e.id;
    }
    EXPECT_NE(ha, hb);
    // Replies go to the right sender.
    ASSERT_EQ(s.server.SendMessage(hb, 0x8002, 0, nullptr, 0), 8);
    Bytes got;
    uint16_t from = 0;
    ASSERT_TRUE(b.Recv(&got, &from));
    EXPECT_EQ(got, Frame(0x8002, 0, {}));
    EXPECT_EQ(from, s.port);
    // Close forgets the sender: 0xFFFF, then its next datagram is new.
    EXPECT_EQ(s.server.Close(ha), 1);
    EXPECT_EQ(s.server.Close(ha), 0);
    ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, 1));
    EXPECT_EQ(s.server.SendMessage(ha, 1, 0, nullptr, 0), -1);
    ASSERT_TRUE(a.SendTo(s.port, Frame(3, 0, {})));
    ASSERT_TRUE(s.recorder.WaitCount(3, 1));
    const auto ev = s.recorder.Events();
    EXPECT_EQ(Recorder::CountIn(ev, linkcore::kCmdAccepted), 3u);
    EXPECT_NE(ev.back().id, ha);
}

TEST(Udp, ClientDropsOtherSendersAndMalformedDatagrams) {
    RawUdp device;
    RawUdp stranger;
    Recorder events;
    CUdpClient client;
    client.RegisterCallback(3, &Recorder::Callback, &events);
    ASSERT_NE(client.Open("127.0.0.1", device.port()), 0);
    const uint16_t client_port = client.LocalPort();
    ASSERT_NE(client_port, 0);
    ASSERT_TRUE(stranger.SendTo(client_port, Frame(0x0666, 0, {})));
    Bytes bad = Frame(0x0667, 0, Pattern(10, 1));
    bad.pop_back();
    ASSERT_TRUE(device.SendTo(client_port, bad));
    ASSERT_TRUE(device.SendTo(client_port, Frame(0x8101, 0, Pattern(10, 1))));
    ASSERT_TRUE(events.WaitCount(0x8101, 1));
    const auto ev = events.Events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].payload, Pattern(10, 1));
    // The client's datagrams reach the device as framed messages.
    ASSERT_EQ(client.SendMessage(0x0103, 2, nullptr, 0), 8);
    Bytes got;
    ASSERT_TRUE(device.Recv(&got));
    EXPECT_EQ(got, Frame(0x0103, 2, {}));
}

TEST(Udp, SendFailures) {
    CUdpClient client;
    const Bytes big = Pattern(linkcore::kMaxPayload, 1);
    EXPECT_EQ(client.SendMessage(1, 0, nullptr, 0), -1);  // not open
    RawUdp device;
    ASSERT_NE(client.Open("127.0.0.1", device.port()), 0);
    // One datagram cannot carry the largest payload.
    EXPECT_EQ(client.SendMessage(1, 0, big.data(), linkcore::kMaxPayload), -1);
    EXPECT_EQ(client.SendMessage(1, 0, nullptr, 4), -1);
    EXPECT_EQ(client.SendMessage(1, 0, big.data(), 60000), 60008);
    EXPECT_NE(client.IsConnected(), 0);
    UdpServer s;
    EXPECT_EQ(s.server.SendMessage(12345, 1, 0, nullptr, 0), -1);
    EXPECT_EQ(client.Open("bogus", 1), 0);
    EXPECT_EQ(client.IsConnected(), 0);
}

TEST(Udp, UnreachablePeerIsNoLoss) {
    // Nobody listens on the port: ICMP errors come back, the client stays
    // usable and reports nothing.
    uint16_t port;
    {
        RawUdp gone;
        port = gone.port();
    }
    Recorder events;
    CUdpClient client;
    client.RegisterCallback(1, &Recorder::Callback, &events);
    ASSERT_NE(client.Open("127.0.0.1", port), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(client.SendMessage(0x0103, 0, nullptr, 0), 8);
    EXPECT_FALSE(events.WaitCount(linkcore::kCmdConnectionLost, 1, 200));
    EXPECT_NE(client.IsConnected(), 0);
}

TEST(Udp, CloseReopenAndNoCallbackAfterClose) {
    UdpServer s;
    Recorder events;
    CUdpClient client;
    client.RegisterCallback(1, &Recorder::Callback, &events);
    ASSERT_NE(client.Open("127.0.0.1", s.port), 0);
    ASSERT_EQ(client.SendMessage(1, 0, nullptr, 0), 8);
    ASSERT_TRUE(s.recorder.WaitCount(1, 1));
    const int h = s.recorder.Events()[0].id;
    client.Close();
    EXPECT_EQ(client.IsConnected(), 0);
    EXPECT_EQ(client.SendMessage(1, 0, nullptr, 0), -1);
    // Datagrams to the closed client go nowhere.
    s.server.SendMessage(h, 0x8001, 0, nullptr, 0);
    EXPECT_FALSE(events.WaitCount(0x8001, 1, 100));
    ASSERT_NE(client.Open("127.0.0.1", s.port), 0);
    ASSERT_EQ(client.SendMessage(2, 0, nullptr, 0), 8);
    ASSERT_TRUE(s.recorder.WaitCount(2, 1));
    const int h2 = s.recorder.Events().back().id;
    ASSERT_EQ(s.server.SendMessage(h2, 0x8002, 0, nullptr, 0), 8);
    EXPECT_TRUE(events.WaitCount(0x8002, 1));
    EXPECT_EQ(events.Count(linkcore::kCmdConnectionLost), 0u);
}

TEST(Udp, NoCallbackAfterCloseOrShutdownReturns) {
    linktest::LateCallbackProbe server_probe;
    linktest::LateCallbackProbe client_probe;
    CUdpServer server;
    server.SetBindAddress("127.0.0.1");
    server.RegisterCallback(&linktest::LateCallbackProbe::Callback, &server_probe);
    ASSERT_NE(server.Open(0, 0), 0);
    RawUdp device;
    CUdpClient client;
    client.RegisterCallback(1, &linktest::LateCallbackProbe::Callback, &client_probe);
    ASSERT_NE(client.Open("127.0.0.1", device.port()), 0);
    std::atomic<bool> stop{false};
    std::thread flood([&, port = server.LocalPort(), client_port = client.LocalPort()] {
        RawUdp peer;
        const Bytes f = Frame(0x0301, 0, Pattern(500, 1));
        while (!stop.load()) {
            peer.SendTo(port, f);
            device.SendTo(client_port, f);
        }
    });
    ASSERT_TRUE(linktest::Eventually(
        [&] { return server_probe.seen.load() > 200 && client_probe.seen.load() > 200; }));
    server.Shutdown();
    server_probe.MarkClosed();
    client.Close();
    client_probe.MarkClosed();
    const int server_seen = server_probe.seen.load();
    const int client_seen = client_probe.seen.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop.store(true);
    flood.join();
    EXPECT_EQ(server_probe.late.load(), 0);
    EXPECT_EQ(client_probe.late.load(), 0);
    EXPECT_EQ(server_probe.seen.load(), server_seen);
    EXPECT_EQ(client_probe.seen.load(), client_seen);
}

}  // namespace
