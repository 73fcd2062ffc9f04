// CTcpServer against raw-socket peers and CTcpClient.
#include <dirent.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <type_traits>

#include "link_test_util.h"
#include "linkcore/diagnostics.h"
#include "linkcore/linkcore.h"

namespace {

// A copy would share the connection (and close it twice).
template <typename... T>
constexpr bool kNoneCopyable = ((!std::is_copy_constructible_v<T> && !std::is_copy_assignable_v<T>) && ...);
static_assert(kNoneCopyable<CTcpClient, CUdpClient, CMCastClient, CTcpServer, CUdpServer>);

using linktest::Bytes;
using linktest::Event;
using linktest::Frame;
using linktest::Pattern;
using linktest::RawConnect;
using linktest::RawSocket;
using linktest::Recorder;

struct Server {
    Recorder recorder;
    CTcpServer server;
    uint16_t port = 0;

    Server() {
        server.SetBindAddress("127.0.0.1");
        server.RegisterCallback(&Recorder::Callback, &recorder);
        EXPECT_NE(server.Open(0, 0), 0);
        port = server.LocalPort();
        EXPECT_NE(port, 0);
    }

    // Connects a raw peer and returns it with its handle.
    RawSocket Connect(int* handle) {
        const std::size_t before = recorder.Count(linkcore::kCmdAccepted);
        RawSocket s = RawConnect(port);
        EXPECT_TRUE(s.valid());
        EXPECT_TRUE(recorder.WaitCount(linkcore::kCmdAccepted, before + 1));
        *handle = 0;
        for (const Event& e : recorder.Events()) {
            if (e.command == linkcore::kCmdAccepted) *handle = e.id;
        }
        return s;
    }
};

std::vector<Event> EventsOf(Recorder& r, int handle) {
    std::vector<Event> out;
    for (const Event& e : r.Events()) {
        if (e.id == handle) out.push_back(e);
    }
    return out;
}

int CountThreads() {
    int n = 0;
    DIR* d = ::opendir("/proc/self/task");
    while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
    return n;
}

TEST(TcpServer, AcceptMessagesAndPeerClose) {
    Server s;
    int h = 0;
    RawSocket peer = s.Connect(&h);
    EXPECT_GT(h, 0);
    EXPECT_EQ(s.server.ConnectionCount(), 1);
    ASSERT_TRUE(peer.SendAll(Frame(0x0101, 0, Pattern(40, 1))));
    ASSERT_TRUE(s.recorder.WaitCount(0x0101, 1));
    peer.Close();
    ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, 1));
    const auto ev = s.recorder.Events();
    ASSERT_EQ(ev.size(), 3u);
    for (const Event& e : ev) {
        EXPECT_EQ(e.kind, linkcore::kLinkTcpServer);
        EXPECT_EQ(e.id, h);
    }
    EXPECT_EQ(ev[0].command, linkcore::kCmdAccepted);
    EXPECT_EQ(ev[0].second_word, 0);
    EXPECT_TRUE(ev[0].payload_null);
    EXPECT_EQ(ev[1].payload, Pattern(40, 1));
    EXPECT_EQ(ev[2].command, linkcore::kCmdClosed);
    EXPECT_TRUE(ev[2].payload_null);
    EXPECT_TRUE(linktest::Eventually([&] { return s.server.ConnectionCount() == 0; }));
    EXPECT_EQ(s.server.SendMessage(h, 1, 0, nullptr, 0), -1);
}

TEST(TcpServer, SplitAndCoalescedMessages) {
    Server s;
    int h = 0;
    RawSocket peer = s.Connect(&h);
    peer.NoDelay();
    const Bytes one = Frame(0x0301, 5, Pattern(999, 2));
    for (uint8_t b : one) {
        ASSERT_TRUE(peer.SendAll(&b, 1));
        std::this_thread::sleep_for(std::chrono::microseconds(30));
    }
    Bytes many;
    for (int i = 0; i < 20; ++i) {
        const Bytes f = Frame(0x0302, static_cast<uint16_t>(i), Pattern(64, static_cast<uint8_t>(i)));
        many.insert(many.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(peer.SendAll(many));
    ASSERT_TRUE(s.recorder.WaitCount(0x0302, 20));
    const auto ev = EventsOf(s.recorder, h);
    ASSERT_EQ(ev.size(), 22u);
    EXPECT_EQ(ev[1].payload, Pattern(999, 2));
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(ev[2 + i].second_word, i);
        EXPECT_EQ(ev[2 + i].payload, Pattern(64, static_cast<uint8_t>(i)));
    }
}

TEST(TcpServer, SyncLossClosesAndReports) {
    Server s;
    int h = 0;
    RawSocket peer = s.Connect(&h);
    const uint64_t losses = linkcore::GetCounters().sync_losses.load();
    const Bytes garbage = {0x11, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x47, 0x45, 0x54};
    ASSERT_TRUE(peer.SendAll(garbage));
    ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, 1));
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_EQ(s.recorder.Count(0x0001), 1u);  // the valid message before the garbage
    EXPECT_EQ(linkcore::GetCounters().sync_losses.load(), losses + 1);
    EXPECT_EQ(s.server.ConnectionCount(), 0);
}

TEST(TcpServer, SendMessageBytesAndUnknownHandles) {
    Server s;
    int h = 0;
    RawSocket peer = s.Connect(&h);
    const Bytes p = Pattern(1400, 9);
    EXPECT_EQ(s.server.SendMessage(h, 0x8101, 3, p.data(), 1400), 1408);
    EXPECT_EQ(s.server.SendMessage(h, 0x8103, 0, nullptr, 0), 8);
    Bytes got;
    ASSERT_TRUE(peer.RecvExact(&got, 1416));
    Bytes expect = Frame(0x8101, 3, p);
    const Bytes second = Frame(0x8103, 0, {});
    expect.insert(expect.end(), second.begin(), second.end());
    EXPECT_EQ(got, expect);
    EXPECT_EQ(s.server.SendMessage(h + 1000, 1, 0, nullptr, 0), -1);
    EXPECT_EQ(s.server.SendMessage(-1, 1, 0, nullptr, 0), -1);
    EXPECT_EQ(s.server.SendMessage(h, 1, 0, nullptr, 10), -1);
}

TEST(TcpServer, OwnerCloseOfOneConnection) {
    Server s;
    int h1 = 0, h2 = 0;
    RawSocket p1 = s.Connect(&h1);
    RawSocket p2 = s.Connect(&h2);
    EXPECT_NE(h1, h2);
    EXPECT_EQ(s.server.Close(h1), 1);
    EXPECT_EQ(s.server.Close(h1), 0);
    EXPECT_EQ(s.server.Close(9999), 0);
    ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, 1));
    EXPECT_EQ(EventsOf(s.recorder, h1).back().command, linkcore::kCmdClosed);
    EXPECT_TRUE(p1.WaitClosed());
    EXPECT_EQ(s.server.SendMessage(h1, 1, 0, nullptr, 0), -1);
    // The other connection is untouched.
    EXPECT_EQ(s.server.ConnectionCount(), 1);
    ASSERT_TRUE(p2.SendAll(Frame(0x0103, 0, {})));
    ASSERT_TRUE(s.recorder.WaitCount(0x0103, 1));
    EXPECT_EQ(s.server.SendMessage(h2, 0x8103, 0, nullptr, 0), 8);
    Bytes got;
    EXPECT_TRUE(p2.RecvExact(&got, 8));
}

TEST(TcpServer, HandlesAreNotReused) {
    Server s;
    std::set<int> handles;
    for (int i = 0; i < 20; ++i) {
        int h = 0;
        RawSocket peer = s.Connect(&h);
        EXPECT_GT(h, 0);
        EXPECT_TRUE(handles.insert(h).second) << "handle " << h << " reused";
        peer.Close();
        ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, static_cast<std::size_t>(i + 1)));
    }
    // Also across a reopening of the server.
    s.server.Shutdown();
    ASSERT_NE(s.server.Open(0, 1), 0);
    s.port = s.server.LocalPort();
    int h = 0;
    RawSocket peer = s.Connect(&h);
    EXPECT_EQ(handles.count(h), 0u);
}

TEST(TcpServer, ShutdownDropsEverythingSilently) {
    Server s;
    int h = 0;
    RawSocket peer = s.Connect(&h);
    const uint16_t port = s.port;
    s.server.Shutdown();
    const std::size_t events = s.recorder.Size();
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_EQ(s.server.ConnectionCount(), 0);
    EXPECT_EQ(s.server.LocalPort(), 0);
    EXPECT_EQ(s.server.SendMessage(h, 1, 0, nullptr, 0), -1);
    RawSocket late = RawConnect(port);
    EXPECT_FALSE(late.valid()) << "still listening after Shutdown";
    EXPECT_EQ(s.recorder.Size(), events);
    EXPECT_EQ(s.recorder.Count(linkcore::kCmdClosed), 0u);
    // The same object opens again, on the same port.
    s.server.SetBindAddress("127.0.0.1");
    ASSERT_NE(s.server.Open(port, 0), 0);
    EXPECT_EQ(s.server.LocalPort(), port);
    RawSocket again = s.Connect(&h);
    ASSERT_TRUE(again.SendAll(Frame(0x0101, 0, {})));
    EXPECT_TRUE(s.recorder.WaitCount(0x0101, 1));
}

TEST(TcpServer, OpenFailsOnBadAddressOrBusyPort) {
    Server s;
    CTcpServer other;
    other.SetBindAddress("127.0.0.1");
    EXPECT_EQ(other.Open(s.port, 0), 0);
    other.SetBindAddress("300.1.1.1");
    EXPECT_EQ(other.Open(0, 0), 0);
    other.SetBindAddress(nullptr);  // ignored
    EXPECT_EQ(other.LocalPort(), 0);
}

TEST(TcpServer, ThousandConnectionsWithTwoIoThreads) {
    Server s;
    constexpr int kConnections = 1000;
    const int threads_before = CountThreads();
    std::vector<RawSocket> peers;
    peers.reserve(kConnections);
    for (int i = 0; i < kConnections; ++i) {
        peers.push_back(RawConnect(s.port));
        ASSERT_TRUE(peers.back().valid()) << i;
    }
    ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdAccepted, kConnections, 20000));
    EXPECT_EQ(s.server.ConnectionCount(), kConnections);
    EXPECT_LE(CountThreads(), threads_before + 2) << "threads per connection?";
    // Each peer says who it is; the server answers every handle.
    for (int i = 0; i < kConnections; ++i) {
        Bytes id(4);
        std::memcpy(id.data(), &i, 4);
        ASSERT_TRUE(peers[i].SendAll(Frame(0x0101, 0, id)));
    }
    ASSERT_TRUE(s.recorder.WaitCount(0x0101, kConnections, 20000));
    std::map<int, int> peer_of_handle;
    for (const Event& e : s.recorder.Events()) {
        if (e.command != 0x0101) continue;
        int i = 0;
        std::memcpy(&i, e.payload.data(), 4);
        EXPECT_TRUE(peer_of_handle.emplace(e.id, i).second);
    }
    ASSERT_EQ(peer_of_handle.size(), static_cast<std::size_t>(kConnections));
    for (const auto& [handle, i] : peer_of_handle) {
        Bytes answer(4);
        std::memcpy(answer.data(), &i, 4);
        ASSERT_EQ(s.server.SendMessage(handle, 0x8101, 0, answer.data(), 4), 12);
    }
    for (int i = 0; i < kConnections; ++i) {
        Bytes got;
        ASSERT_TRUE(peers[i].RecvExact(&got, 12));
        int echoed = -1;
        std::memcpy(&echoed, got.data() + 8, 4);
        EXPECT_EQ(echoed, i);
    }
    peers.clear();
    ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, kConnections, 20000));
    EXPECT_TRUE(linktest::Eventually([&] { return s.server.ConnectionCount() == 0; }));
}

TEST(TcpServer, ManyClientObjectsShareTheIoThreads) {
    Server s;
    s.recorder.hook = [&](const Event& e) {
        if (e.command == 0x0101) s.server.SendMessage(e.id, 0x8101, 0, e.payload.data(), 4);
    };
    constexpr int kClients = 200;
    const int threads_before = CountThreads();
    Recorder replies;
    std::vector<std::unique_ptr<CTcpClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<CTcpClient>());
        clients.back()->RegisterCallback(i, &Recorder::Callback, &replies);
        ASSERT_NE(clients.back()->Open("127.0.0.1", s.port), 0) << i;
    }
    EXPECT_LE(CountThreads(), threads_before + 2);
    for (int i = 0; i < kClients; ++i) {
        ASSERT_EQ(clients[i]->SendMessage(0x0101, 0, &i, 4), 12);
    }
    ASSERT_TRUE(replies.WaitCount(0x8101, kClients, 20000));
    for (const Event& e : replies.Events()) {
        int echoed = -1;
        std::memcpy(&echoed, e.payload.data(), 4);
        EXPECT_EQ(echoed, e.id);  // each reply reached the client that asked
    }
    clients.clear();
    EXPECT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, kClients, 20000));
    EXPECT_EQ(replies.Count(linkcore::kCmdConnectionLost), 0u);
}

TEST(TcpServer, FullQueueRefusesAndLosesNothingAccepted) {
    Server s;
    int h = 0;
    RawSocket peer = s.Connect(&h);
    const uint64_t overflows = linkcore::GetCounters().send_queue_overflows.load();
    // The peer does not read: kernel buffers, then the 8 MB queue fill up.
    const Bytes chunk = Pattern(60000, 1);
    int accepted = 0;
    int result = 0;
    while (accepted < 2000) {
        result = s.server.SendMessage(h, 0x0301, static_cast<uint16_t>(accepted), chunk.data(),
                                      60000);
        if (result == -1) break;
        ASSERT_EQ(result, 60008);
        ++accepted;
    }
    ASSERT_EQ(result, -1) << "queue never filled";
    EXPECT_EQ(linkcore::GetCounters().send_queue_overflows.load(), overflows + 1);
    // Everything accepted arrives, in order and intact.
    for (int i = 0; i < accepted; ++i) {
        Bytes got;
        ASSERT_TRUE(peer.RecvExact(&got, 60008)) << i;
        EXPECT_EQ(linkcore::LoadLe16(got.data() + 4), static_cast<uint16_t>(i));
        ASSERT_TRUE(std::equal(chunk.begin(), chunk.end(), got.begin() + 8)) << i;
    }
    // Once drained the connection takes messages again.
    EXPECT_TRUE(linktest::Eventually(
        [&] { return s.server.SendMessage(h, 0x0103, 0, nullptr, 0) == 8; }));
}

TEST(TcpServer, CloseInsideTheCallback) {
    std::atomic<int> closed_result{-1};
    Server s;
    s.recorder.hook = [&](const Event& e) {
        if (e.command == 0x0101) closed_result.store(s.server.Close(e.id));
    };
    int h = 0;
    RawSocket peer = s.Connect(&h);
    Bytes burst;
    for (int i = 0; i < 50; ++i) {
        const Bytes f = Frame(0x0101, static_cast<uint16_t>(i), {});
        burst.insert(burst.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(peer.SendAll(burst));
    ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, 1));
    EXPECT_EQ(closed_result.load(), 1);
    const auto ev = EventsOf(s.recorder, h);
    ASSERT_EQ(ev.size(), 3u);  // accepted, the first message, closed
    EXPECT_EQ(ev[2].command, linkcore::kCmdClosed);
    EXPECT_TRUE(peer.WaitClosed());
}

TEST(TcpServer, ShutdownInsideTheCallback) {
    std::atomic<bool> done{false};
    Server s;
    s.recorder.hook = [&](const Event& e) {
        if (e.command == 0x0101) {
            s.server.Shutdown();
            done.store(true);
        }
    };
    int h = 0;
    RawSocket peer = s.Connect(&h);
    ASSERT_TRUE(peer.SendAll(Frame(0x0101, 0, {})));
    ASSERT_TRUE(peer.SendAll(Frame(0x0101, 1, {})));
    ASSERT_TRUE(linktest::Eventually([&] { return done.load(); }));
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_EQ(s.recorder.Count(0x0101), 1u);
    EXPECT_EQ(s.recorder.Count(linkcore::kCmdClosed), 0u);
}

TEST(TcpServer, DestroyInsideTheCallback) {
    Recorder recorder;
    auto server = std::make_unique<CTcpServer>();
    std::atomic<bool> destroyed{false};
    recorder.hook = [&](const Event& e) {
        if (e.command == 0x0101) {
            server.reset();
            destroyed.store(true);
        }
    };
    server->SetBindAddress("127.0.0.1");
    server->RegisterCallback(&Recorder::Callback, &recorder);
    ASSERT_NE(server->Open(0, 0), 0);
    RawSocket peer = RawConnect(server->LocalPort());
    ASSERT_TRUE(peer.SendAll(Frame(0x0101, 0, {})));
    ASSERT_TRUE(peer.SendAll(Frame(0x0101, 1, {})));
    ASSERT_TRUE(recorder.WaitCount(0x0101, 1));
    EXPECT_TRUE(destroyed.load());
    EXPECT_TRUE(peer.WaitClosed());
    EXPECT_EQ(recorder.Count(0x0101), 1u);
    EXPECT_EQ(recorder.Count(linkcore::kCmdClosed), 0u);
}

TEST(TcpServer, NoCallbackAfterShutdownReturns) {
    for (int round = 0; round < 10; ++round) {
        linktest::LateCallbackProbe probe;
        CTcpServer server;
        server.SetBindAddress("127.0.0.1");
        server.RegisterCallback(&linktest::LateCallbackProbe::Callback, &probe);
        ASSERT_NE(server.Open(0, 0), 0);
        std::atomic<bool> stop{false};
        std::atomic<int> left_open{0};
        std::vector<std::thread> floods;
        for (int t = 0; t < 3; ++t) {
            floods.emplace_back([&, port = server.LocalPort()] {
                RawSocket peer = RawConnect(port);
                Bytes burst;
                for (int i = 0; i < 64; ++i) {
                    const Bytes f = Frame(0x0301, 0, Pattern(100, 1));
                    burst.insert(burst.end(), f.begin(), f.end());
                }
                while (!stop.load() && peer.SendAll(burst)) {
                }
                // Shutdown drops every connection, also one accepted meanwhile.
                if (peer.valid() && !peer.WaitClosed()) left_open.fetch_add(1);
            });
        }
        ASSERT_TRUE(linktest::Eventually([&] { return probe.seen.load() > 500; }));
        server.Shutdown();
        probe.MarkClosed();
        const int at_shutdown = probe.seen.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop.store(true);
        for (auto& t : floods) t.join();
        EXPECT_EQ(probe.late.load(), 0);
        EXPECT_EQ(probe.seen.load(), at_shutdown);
        EXPECT_EQ(left_open.load(), 0);
    }
}

TEST(TcpServer, CloseOfOneHandleWhileItFloods) {
    std::atomic<int> target{0};
    std::atomic<bool> closed{false};
    std::atomic<int> late{0};
    std::atomic<int> active{0};
    Server s;
    s.recorder.hook = [&](const Event& e) {
        if (e.id != target.load() || e.command == linkcore::kCmdClosed) return;
        active.fetch_add(1);
        if (closed.load()) late.fetch_add(1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
        while (std::chrono::steady_clock::now() < until) {
        }
        if (closed.load()) late.fetch_add(1);
        active.fetch_sub(1);
    };
    int h = 0;
    RawSocket peer = s.Connect(&h);
    target.store(h);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        const Bytes f = Frame(0x0301, 0, Pattern(300, 1));
        while (!stop.load() && peer.SendAll(f)) {
        }
    });
    ASSERT_TRUE(s.recorder.WaitCount(0x0301, 200));
    EXPECT_EQ(s.server.Close(h), 1);
    closed.store(true);
    if (active.load() != 0) late.fetch_add(1);
    ASSERT_TRUE(s.recorder.WaitCount(linkcore::kCmdClosed, 1));
    stop.store(true);
    flood.join();
    EXPECT_EQ(late.load(), 0);
    EXPECT_EQ(s.recorder.Count(linkcore::kCmdClosed), 1u);
}

TEST(TcpServer, TcpClientRoundTrip) {
    Server s;
    // Echo every message back on its connection.
    s.recorder.hook = [&](const Event& e) {
        if (e.command >= 0x0100 && e.command < 0xFFFE) {
            s.server.SendMessage(e.id, static_cast<uint16_t>(e.command | 0x8000), e.second_word,
                                 e.payload.data(), static_cast<uint16_t>(e.payload.size()));
        }
    };
    Recorder client_events;
    CTcpClient client;
    client.RegisterCallback(77, &Recorder::Callback, &client_events);
    ASSERT_NE(client.Open("127.0.0.1", s.port), 0);
    EXPECT_NE(client.LocalPort(), 0);
    for (int i = 0; i < 200; ++i) {
        const Bytes p = Pattern(static_cast<std::size_t>(i * 5), static_cast<uint8_t>(i));
        ASSERT_EQ(client.SendMessage(0x0100, static_cast<uint16_t>(i), p.data(),
                                     static_cast<uint16_t>(p.size())),
                  static_cast<int>(8 + p.size()));
    }
    ASSERT_TRUE(client_events.WaitCount(0x8100, 200));
    const auto ev = client_events.Events();
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(ev[i].id, 77);
        EXPECT_EQ(ev[i].second_word, i);
        EXPECT_EQ(ev[i].payload, Pattern(static_cast<std::size_t>(i * 5), static_cast<uint8_t>(i)));
    }
    // The server closing the connection is a loss for the client.
    int h = 0;
    for (const Event& e : s.recorder.Events()) {
        if (e.command == linkcore::kCmdAccepted) h = e.id;
    }
    EXPECT_EQ(s.server.Close(h), 1);
    ASSERT_TRUE(client_events.WaitCount(linkcore::kCmdConnectionLost, 1));
    EXPECT_EQ(client.IsConnected(), 0);
}

// Objects of the exit test: statics, as a host's globals would be.
CTcpServer& ExitServer() {
    static CTcpServer server;
    return server;
}
CTcpClient& ExitClient() {
    static CTcpClient client;
    return client;
}

TEST(TcpServer, ExitWithOpenObjectsIsClean) {
    // A process that exits while objects are open and messages bounce
    // between them on the I/O threads must neither crash nor hang in exit.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            CTcpServer& server = ExitServer();
            server.SetBindAddress("127.0.0.1");
            server.RegisterCallback(
                [](int, int id, uint16_t command, uint16_t, const uint8_t* p, uint16_t n,
                   void*) {
                    if (command == 1) ExitServer().SendMessage(id, 1, 0, p, n);
                    return 0;
                },
                nullptr);
            server.Open(0, 0);
            CTcpClient& client = ExitClient();
            client.RegisterCallback(
                1,
                [](int, int, uint16_t command, uint16_t, const uint8_t* p, uint16_t n, void*) {
                    if (command == 1) ExitClient().SendMessage(1, 0, p, n);
                    return 0;
                },
                nullptr);
            client.Open("127.0.0.1", server.LocalPort());
            const Bytes p = Pattern(1000, 1);
            for (int i = 0; i < 8; ++i) client.SendMessage(1, 0, p.data(), 1000);
            std::exit(3);
        },
        ::testing::ExitedWithCode(3), "");
}

}  // namespace
