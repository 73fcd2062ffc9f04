// CTcpClient against a scripted raw-socket peer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link_test_util.h"
#include "linkcore/diagnostics.h"
#include "linkcore/linkcore.h"
#include "linkcore/socket_util.h"

namespace {

using linktest::Bytes;
using linktest::Event;
using linktest::Frame;
using linktest::Pattern;
using linktest::RawListener;
using linktest::RawSocket;
using linktest::Recorder;

constexpr int kDeviceId = 42;

// A client connected to a raw peer.
struct Connected {
    RawListener listener;
    Recorder recorder;
    CTcpClient client;
    RawSocket peer;

    Connected() {
        client.RegisterCallback(kDeviceId, &Recorder::Callback, &recorder);
        EXPECT_NE(client.Open("127.0.0.1", listener.port()), 0);
        peer = listener.Accept();
        EXPECT_TRUE(peer.valid());
        peer.NoDelay();
    }
};

TEST(TcpClient, MessageWrittenByteByByteArrivesWhole) {
    Connected c;
    const Bytes f = Frame(0x0301, 0x0102, Pattern(1500, 7));
    for (uint8_t b : f) {
        ASSERT_TRUE(c.peer.SendAll(&b, 1));
        // Spacing the bytes makes the client see many partial reads; the
        // result is awaited below, not timed.
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    ASSERT_TRUE(c.recorder.WaitCount(0x0301, 1));
    const auto ev = c.recorder.Events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].kind, linkcore::kLinkTcpClient);
    EXPECT_EQ(ev[0].id, kDeviceId);
    EXPECT_EQ(ev[0].second_word, 0x0102);
    EXPECT_EQ(ev[0].payload, Pattern(1500, 7));
}

TEST(TcpClient, SeveralMessagesInOneWriteArriveInOrder) {
    Connected c;
    Bytes all;
    for (int i = 0; i < 50; ++i) {
        const Bytes f = Frame(static_cast<uint16_t>(0x0100 + i), static_cast<uint16_t>(i),
                              Pattern(static_cast<std::size_t>(i * 37), static_cast<uint8_t>(i)));
        all.insert(all.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(c.peer.SendAll(all));
    ASSERT_TRUE(c.recorder.WaitFor([](const std::vector<Event>& e) { return e.size() >= 50; }));
    const auto ev = c.recorder.Events();
    ASSERT_EQ(ev.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ev[i].command, 0x0100 + i);
        EXPECT_EQ(ev[i].second_word, i);
        EXPECT_EQ(ev[i].payload, Pattern(static_cast<std::size_t>(i * 37), static_cast<uint8_t>(i)));
    }
}

TEST(TcpClient, SendMessagePutsExactBytesOnTheWire) {
    Connected c;
    const Bytes payload = Pattern(1400, 3);
    EXPECT_EQ(c.client.SendMessage(0x0201, 0x0A0B, payload.data(), 1400), 1408);
    EXPECT_EQ(c.client.SendMessage(0x0103, 0, nullptr, 0), 8);
    EXPECT_EQ(c.client.SendMessage(0x0104, 1, payload.data(), 0), 8);
    Bytes got;
    ASSERT_TRUE(c.peer.RecvExact(&got, 1408 + 8 + 8));
    const Bytes expect_first = Frame(0x0201, 0x0A0B, payload);
    EXPECT_TRUE(std::equal(expect_first.begin(), expect_first.end(), got.begin()));
    const Bytes keep_alive = {0x11, 0x11, 0x03, 0x01, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(keep_alive.begin(), keep_alive.end(), got.begin() + 1408));
}

TEST(TcpClient, LargestPayloadGoesBothWays) {
    Connected c;
    const Bytes big = Pattern(linkcore::kMaxPayload, 11);
    EXPECT_EQ(c.client.SendMessage(7, 8, big.data(), static_cast<uint16_t>(big.size())),
              static_cast<int>(8 + big.size()));
    Bytes got;
    ASSERT_TRUE(c.peer.RecvExact(&got, 8 + big.size()));
    EXPECT_EQ(got, Frame(7, 8, big));
    ASSERT_TRUE(c.peer.SendAll(Frame(9, 10, big)));
    ASSERT_TRUE(c.recorder.WaitCount(9, 1));
    EXPECT_EQ(c.recorder.Events()[0].payload, big);
}

TEST(TcpClient, PeerCloseReportsLossOnce) {
    Connected c;
    ASSERT_TRUE(c.peer.SendAll(Frame(0x8103, 0, {})));
    ASSERT_TRUE(c.recorder.WaitCount(0x8103, 1));
    EXPECT_NE(c.client.IsConnected(), 0);
    c.peer.Close();
    ASSERT_TRUE(c.recorder.WaitCount(linkcore::kCmdConnectionLost, 1));
    ASSERT_TRUE(linktest::Eventually([&] { return c.client.IsConnected() == 0; }));
    EXPECT_EQ(c.client.SendMessage(0x0103, 0, nullptr, 0), -1);
    const auto ev = c.recorder.Events();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[1].kind, linkcore::kLinkTcpClient);
    EXPECT_EQ(ev[1].id, kDeviceId);
    EXPECT_EQ(ev[1].payload.size(), 0u);
    // Closing afterwards adds nothing.
    c.client.Close();
    EXPECT_EQ(c.recorder.Count(linkcore::kCmdConnectionLost), 1u);
}

TEST(TcpClient, SyncLossClosesTheConnectionAndReportsIt) {
    Connected c;
    const uint64_t losses = linkcore::GetCounters().sync_losses.load();
    Bytes stream = Frame(0x8101, 0, Pattern(4, 0));
    stream.insert(stream.end(), {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
    ASSERT_TRUE(c.peer.SendAll(stream));
    ASSERT_TRUE(c.recorder.WaitCount(linkcore::kCmdConnectionLost, 1));
    EXPECT_EQ(c.recorder.Count(0x8101), 1u);
    EXPECT_EQ(c.client.IsConnected(), 0);
    EXPECT_TRUE(c.peer.WaitClosed());
    EXPECT_EQ(linkcore::GetCounters().sync_losses.load(), losses + 1);
}

TEST(TcpClient, OwnerCloseReportsNothingAndClosesTheSocket) {
    Connected c;
    c.client.Close();
    EXPECT_EQ(c.client.IsConnected(), 0);
    EXPECT_EQ(c.client.LocalPort(), 0);
    EXPECT_TRUE(c.peer.WaitClosed());
    // The peer's close after ours must not surface either.
    c.peer.Close();
    EXPECT_FALSE(c.recorder.WaitCount(linkcore::kCmdConnectionLost, 1, 200));
    EXPECT_EQ(c.client.SendMessage(1, 0, nullptr, 0), -1);
}

TEST(TcpClient, OpenAfterCloseUsesANewConnection) {
    RawListener listener;
    Recorder recorder;
    CTcpClient client;
    client.RegisterCallback(kDeviceId, &Recorder::Callback, &recorder);
    for (int round = 0; round < 3; ++round) {
        ASSERT_NE(client.Open("127.0.0.1", listener.port()), 0);
        RawSocket peer = listener.Accept();
        ASSERT_TRUE(peer.valid());
        const uint16_t cmd = static_cast<uint16_t>(0x100 + round);
        ASSERT_TRUE(peer.SendAll(Frame(cmd, 0, Pattern(10, 1))));
        ASSERT_TRUE(recorder.WaitCount(cmd, 1));
        EXPECT_EQ(client.SendMessage(cmd, 0, nullptr, 0), 8);
        Bytes got;
        ASSERT_TRUE(peer.RecvExact(&got, 8));
        EXPECT_EQ(got, Frame(cmd, 0, {}));
        client.Close();
        EXPECT_TRUE(peer.WaitClosed());
    }
    EXPECT_EQ(recorder.Count(linkcore::kCmdConnectionLost), 0u);
}

TEST(TcpClient, OpenReplacesAnOpenConnection) {
    RawListener listener;
    Recorder recorder;  // outlives the client: the peers' closes reach it
    CTcpClient client;
    client.RegisterCallback(1, &Recorder::Callback, &recorder);
    ASSERT_NE(client.Open("127.0.0.1", listener.port()), 0);
    RawSocket first = listener.Accept();
    ASSERT_NE(client.Open("127.0.0.1", listener.port()), 0);
    RawSocket second = listener.Accept();
    EXPECT_TRUE(first.WaitClosed());
    EXPECT_EQ(client.SendMessage(3, 0, nullptr, 0), 8);
    Bytes got;
    EXPECT_TRUE(second.RecvExact(&got, 8));
    EXPECT_EQ(recorder.Count(linkcore::kCmdConnectionLost), 0u);
}

TEST(TcpClient, OpenFailures) {
    CTcpClient client;
    EXPECT_EQ(client.Open(nullptr, 80), 0);
    EXPECT_EQ(client.Open("not an address", 80), 0);
    EXPECT_EQ(client.Open("127.0.0.1", 0), 0);
    uint16_t closed_port;
    {
        RawListener gone;
        closed_port = gone.port();
    }
    EXPECT_EQ(client.Open("127.0.0.1", closed_port), 0);
    EXPECT_EQ(client.IsConnected(), 0);
    EXPECT_EQ(client.SendMessage(1, 0, nullptr, 0), -1);
}

TEST(TcpClient, ConnectTimesOut) {
    // A listener that never accepts and has a full backlog: the kernel drops
    // further connection requests, so a connect waits.
    RawListener listener(/*backlog=*/0);
    std::vector<RawSocket> fill;
    for (int i = 0; i < 4; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a = linktest::Loopback(listener.port());
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        fill.emplace_back(fd);
    }
    CTcpClient client;
    client.SetConnectTimeout(200);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Open("127.0.0.1", listener.port()), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(150));
    EXPECT_LT(took, std::chrono::milliseconds(2500));
}

TEST(TcpClient, SendArgumentChecks) {
    Connected c;
    EXPECT_EQ(c.client.SendMessage(1, 0, nullptr, 5), -1);
    EXPECT_NE(c.client.IsConnected(), 0);
    CTcpClient never_opened;
    const uint8_t b = 1;
    EXPECT_EQ(never_opened.SendMessage(1, 0, &b, 1), -1);
    EXPECT_EQ(never_opened.LocalPort(), 0);
    never_opened.Close();  // harmless
}

TEST(TcpClient, StalledPeerMakesSendFailWithinTheTimeOut) {
    linkcore::detail::SetSendTimeoutMs(300);
    Connected c;
    // The peer never reads: the socket buffers fill, then a send gives up.
    const Bytes chunk = Pattern(linkcore::kMaxPayload, 1);
    const auto start = std::chrono::steady_clock::now();
    int result = 0;
    int sent = 0;
    while (result != -1 && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        result = c.client.SendMessage(0x0301, 0, chunk.data(), linkcore::kMaxPayload);
        ++sent;
    }
    linkcore::detail::SetSendTimeoutMs(5000);
    EXPECT_EQ(result, -1);
    EXPECT_GT(sent, 1);
    // The connection is finished and reported as lost.
    ASSERT_TRUE(c.recorder.WaitCount(linkcore::kCmdConnectionLost, 1));
    EXPECT_EQ(c.client.IsConnected(), 0);
    EXPECT_EQ(c.client.SendMessage(1, 0, nullptr, 0), -1);
}

TEST(TcpClient, ConcurrentSendersNeverInterleave) {
    Connected c;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 1500;
    std::atomic<int> failures{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const std::size_t n = static_cast<std::size_t>((i * 131 + t * 17) % 3000);
                Bytes p = Pattern(n, static_cast<uint8_t>(t * 50 + i));
                if (c.client.SendMessage(static_cast<uint16_t>(t), static_cast<uint16_t>(i),
                                         p.data(), static_cast<uint16_t>(n)) !=
                    static_cast<int>(8 + n)) {
                    failures.fetch_add(1);
                }
            }
        });
    }
    // Read and check the stream while the senders run.
    int next[kThreads] = {};
    int total = 0;
    linkcore::FrameDecoder decoder;
    bool in_order = true;
    bool intact = true;
    Bytes buf(65536);
    while (total < kThreads * kPerThread) {
        pollfd p{c.peer.fd(), POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 5000), 0) << "stream stalled after " << total;
        const ssize_t n = ::recv(c.peer.fd(), buf.data(), buf.size(), 0);
        ASSERT_GT(n, 0);
        const auto r = decoder.Feed(buf.data(), static_cast<std::size_t>(n),
                                    [&](const linkcore::FrameView& m) {
                                        const int t = m.command;
                                        if (t >= kThreads || m.second_word != next[t]) {
                                            in_order = false;
                                            return true;
                                        }
                                        const int i = next[t]++;
                                        const std::size_t len =
                                            static_cast<std::size_t>((i * 131 + t * 17) % 3000);
                                        const Bytes expect =
                                            Pattern(len, static_cast<uint8_t>(t * 50 + i));
                                        if (m.length != len ||
                                            !std::equal(expect.begin(), expect.end(), m.payload)) {
                                            intact = false;
                                        }
                                        ++total;
                                        return true;
                                    });
        ASSERT_EQ(r, linkcore::FrameDecoder::Result::kOk) << "interleaved bytes";
    }
    for (auto& s : senders) s.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(in_order);
    EXPECT_TRUE(intact);
}

TEST(TcpClient, CloseInsideTheCallbackStopsDelivery) {
    RawListener listener;
    Recorder recorder;
    CTcpClient client;
    std::atomic<int> returned{0};
    recorder.hook = [&](const Event& e) {
        if (e.command == 0x0301 && recorder.Size() == 0) {
            client.Close();  // must not wait for itself
            returned.store(1);
        }
    };
    client.RegisterCallback(kDeviceId, &Recorder::Callback, &recorder);
    ASSERT_NE(client.Open("127.0.0.1", listener.port()), 0);
    RawSocket peer = listener.Accept();
    Bytes burst;
    for (int i = 0; i < 100; ++i) {
        const Bytes f = Frame(0x0301, static_cast<uint16_t>(i), Pattern(100, 1));
        burst.insert(burst.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(peer.SendAll(burst));
    ASSERT_TRUE(linktest::Eventually([&] { return returned.load() == 1; }));
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_EQ(recorder.Size(), 1u);
    EXPECT_EQ(recorder.Count(linkcore::kCmdConnectionLost), 0u);
    EXPECT_EQ(client.IsConnected(), 0);
}

TEST(TcpClient, DestroyInsideTheCallback) {
    RawListener listener;
    Recorder recorder;
    auto client = std::make_unique<CTcpClient>();
    std::atomic<bool> destroyed{false};
    recorder.hook = [&](const Event&) {
        client.reset();
        destroyed.store(true);
    };
    client->RegisterCallback(kDeviceId, &Recorder::Callback, &recorder);
    ASSERT_NE(client->Open("127.0.0.1", listener.port()), 0);
    RawSocket peer = listener.Accept();
    Bytes burst;
    for (int i = 0; i < 20; ++i) {
        const Bytes f = Frame(0x0301, 0, Pattern(50, 1));
        burst.insert(burst.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(peer.SendAll(burst));
    ASSERT_TRUE(recorder.WaitFor([](const std::vector<Event>& e) { return !e.empty(); }));
    EXPECT_TRUE(destroyed.load());
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_EQ(recorder.Size(), 1u);
}

TEST(TcpClient, ReopenInsideTheLossCallback) {
    RawListener listener;
    Recorder recorder;
    CTcpClient client;
    std::atomic<int> reopened{-1};
    recorder.hook = [&](const Event& e) {
        if (e.command == linkcore::kCmdConnectionLost) {
            reopened.store(client.Open("127.0.0.1", listener.port()));
        }
    };
    client.RegisterCallback(kDeviceId, &Recorder::Callback, &recorder);
    ASSERT_NE(client.Open("127.0.0.1", listener.port()), 0);
    {
        RawSocket first = listener.Accept();
        ASSERT_TRUE(first.valid());
    }  // closes: loss, and the callback reconnects
    RawSocket second = listener.Accept();
    ASSERT_TRUE(second.valid());
    ASSERT_TRUE(linktest::Eventually([&] { return reopened.load() == 1; }));
    ASSERT_TRUE(second.SendAll(Frame(0x8101, 0, Pattern(4, 0))));
    ASSERT_TRUE(recorder.WaitCount(0x8101, 1));
    EXPECT_NE(client.IsConnected(), 0);
}

TEST(TcpClient, NoCallbackAfterCloseReturns) {
    RawListener listener;
    for (int round = 0; round < 20; ++round) {
        linktest::LateCallbackProbe probe;
        CTcpClient client;
        client.RegisterCallback(1, &linktest::LateCallbackProbe::Callback, &probe);
        ASSERT_NE(client.Open("127.0.0.1", listener.port()), 0);
        RawSocket peer = listener.Accept();
        std::atomic<bool> stop{false};
        std::thread flood([&] {
            Bytes burst;
            for (int i = 0; i < 64; ++i) {
                const Bytes f = Frame(0x0301, 0, Pattern(200, 1));
                burst.insert(burst.end(), f.begin(), f.end());
            }
            while (!stop.load() && peer.SendAll(burst)) {
            }
        });
        ASSERT_TRUE(linktest::Eventually([&] { return probe.seen.load() > round * 10; }));
        client.Close();
        probe.MarkClosed();
        const int at_close = probe.seen.load();
        // Give a late callback every chance to show up.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop.store(true);
        ::shutdown(peer.fd(), SHUT_RDWR);
        flood.join();
        EXPECT_EQ(probe.late.load(), 0) << "round " << round;
        EXPECT_EQ(probe.seen.load(), at_close);
    }
}

}  // namespace
