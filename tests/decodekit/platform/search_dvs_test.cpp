#include "decodekit/platform/search_dvs.h"

#include "decodekit/platform/message_language.h"
#include "platform_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using decodekit::BuildNetParaBlock;
using decodekit::NetParaBlock;
using Bytes = std::vector<uint8_t>;

namespace {

// ---- Block building (no network) --------------------------------------------

ModifyNetParaRecord sample_record() {
    ModifyNetParaRecord r{};
    std::strcpy(r.mac, "00:1A:2b:3C:4d:5E");
    std::strcpy(r.ip_address, "192.168.1.10");
    std::strcpy(r.subnet_mask, "255.255.255.0");
    std::strcpy(r.gateway, "192.168.1.1");
    r.port = 0x1F90;  // 8080
    std::strcpy(r.text_d, "device-name-longer-than-twenty");
    r.byte_b = 0xB5;
    r.word_w = 0xA1B2;
    std::strcpy(r.text_e, "text-e");
    return r;
}

Bytes block_bytes(const ModifyNetParaRecord& r) {
    const NetParaBlock b = BuildNetParaBlock(r);
    return Bytes(b.begin(), b.end());
}

Bytes slice(const Bytes& b, std::size_t at, std::size_t n) {
    return Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

TEST(NetParaBlock, EveryFieldAtItsOffset) {
    const Bytes b = block_bytes(sample_record());
    ASSERT_EQ(b.size(), 80u);
    EXPECT_EQ(slice(b, 0, 20),
              Bytes(std::begin("device-name-longer-t"), std::begin("device-name-longer-t") + 20));
    EXPECT_EQ(b[20], 0);
    EXPECT_EQ(b[21], 0xB5);
    EXPECT_EQ(slice(b, 22, 2), (Bytes{0xB2, 0xA1}));
    EXPECT_EQ(slice(b, 24, 4), (Bytes{0x0A, 0x01, 0xA8, 0xC0}));  // 192.168.1.10
    EXPECT_EQ(slice(b, 28, 4), (Bytes{0x00, 0xFF, 0xFF, 0xFF}));  // 255.255.255.0
    EXPECT_EQ(slice(b, 32, 4), (Bytes{0x01, 0x01, 0xA8, 0xC0}));  // 192.168.1.1
    EXPECT_EQ(slice(b, 36, 2), (Bytes{0x90, 0x1F}));
    EXPECT_EQ(slice(b, 38, 2), (Bytes{0x90, 0x1F}));
    EXPECT_EQ(slice(b, 40, 6), (Bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(slice(b, 46, 2), (Bytes{0x90, 0x1F}));
    EXPECT_EQ(slice(b, 48, 24), (Bytes{'t', 'e', 'x', 't', '-', 'e', 0, 0, 0, 0, 0, 0,
                                       0,   0,   0,   0,   0,   0,   0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(slice(b, 72, 8), Bytes(8, 0));
}

TEST(NetParaBlock, MacTextRules) {
    auto mac_of = [](const char* text) {
        ModifyNetParaRecord r = sample_record();
        std::memset(r.mac, 0, sizeof r.mac);
        std::memcpy(r.mac, text, strnlen(text, sizeof r.mac));
        return slice(block_bytes(r), 40, 6);
    };
    const Bytes expected{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(mac_of("00:1A:2b:3C:4d:5E"), expected);
    EXPECT_EQ(mac_of("00-1A-2B-3C-4D-5E"), expected);
    EXPECT_EQ(mac_of("00 1a 2b 3c 4d 5e"), expected);  // separators are not looked at
    EXPECT_EQ(mac_of("0G:1A:x2:3C:4d:5E"), (Bytes{0, 0x1A, 0, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(mac_of("00:1A:2B:3C:4D:5"), (Bytes{0, 0x1A, 0x2B, 0x3C, 0x4D, 0x05}));
    EXPECT_EQ(mac_of("00:1A"), (Bytes{0, 0x1A, 0, 0, 0, 0}));
    EXPECT_EQ(mac_of(""), Bytes(6, 0));
    // A field of 20 characters without a terminator is read within its bounds.
    EXPECT_EQ(mac_of("FF:EE:DD:CC:BB:AAxyz"), (Bytes{0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}));
}

TEST(NetParaBlock, AddressTexts) {
    ModifyNetParaRecord r = sample_record();
    std::memset(r.gateway, 0, sizeof r.gateway);
    EXPECT_EQ(slice(block_bytes(r), 32, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));  // empty
    std::strcpy(r.gateway, "300.1.1.1");
    EXPECT_EQ(slice(block_bytes(r), 32, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    std::strcpy(r.gateway, "not an address");
    EXPECT_EQ(slice(block_bytes(r), 32, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    std::strcpy(r.gateway, "10.0.0.254");
    EXPECT_EQ(slice(block_bytes(r), 32, 4), (Bytes{0xFE, 0x00, 0x00, 0x0A}));
    // Unterminated fields: no read past them (the next field holds digits).
    std::memset(r.ip_address, '1', sizeof r.ip_address);
    std::memset(r.subnet_mask, '2', sizeof r.subnet_mask);
    std::memset(r.gateway, '3', sizeof r.gateway);
    std::memset(r.text_d, 'd', sizeof r.text_d);
    std::memset(r.text_e, 'e', sizeof r.text_e);
    const Bytes b = block_bytes(r);
    EXPECT_EQ(slice(b, 24, 12), Bytes(12, 0xFF));
    EXPECT_EQ(slice(b, 0, 20), Bytes(20, 'd'));
    EXPECT_EQ(b[20], 0);
    EXPECT_EQ(slice(b, 48, 24), Bytes(24, 'e'));
    EXPECT_EQ(slice(b, 72, 8), Bytes(8, 0));
}

// ---- Datagram handling (no network) -----------------------------------------

TEST(SearchDatagram, HeaderCases) {
    CPacket packet;
    const uint8_t whole[] = {0x11, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x04, 0x00, 1, 2, 3, 4};
    auto d = decodekit::ParseSearchDatagram(whole, sizeof whole, packet);
    EXPECT_EQ(d.command, 0x0F06);
    EXPECT_EQ(d.length, 4u);
    ASSERT_EQ(d.payload, packet.Buffer());
    EXPECT_EQ(Bytes(packet.Buffer(), packet.Buffer() + 4), (Bytes{1, 2, 3, 4}));

    d = decodekit::ParseSearchDatagram(whole, 10, packet);  // 2 of 4 payload bytes
    EXPECT_EQ(d.command, 0);
    EXPECT_EQ(d.length, 0u);
    EXPECT_EQ(d.payload, nullptr);

    const uint8_t bad_sync[] = {0x12, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x00, 0x00};
    d = decodekit::ParseSearchDatagram(bad_sync, sizeof bad_sync, packet);
    EXPECT_EQ(d.command, 0);
    EXPECT_EQ(d.length, 65535u);
    EXPECT_EQ(d.payload, nullptr);

    d = decodekit::ParseSearchDatagram(nullptr, 0, packet);
    EXPECT_EQ(d.length, 65535u);
    d = decodekit::ParseSearchDatagram(whole, 1, packet);
    EXPECT_EQ(d.length, 65535u);
    d = decodekit::ParseSearchDatagram(whole, 7, packet);
    EXPECT_EQ(d.length, 0u);
    EXPECT_EQ(d.payload, nullptr);

    // Trailing bytes after the announced payload are not passed on.
    d = decodekit::ParseSearchDatagram(whole, 12, packet);
    const uint8_t empty[] = {0x11, 0x11, 0x86, 0x0F, 0x00, 0x00, 0x00, 0x00, 9};
    d = decodekit::ParseSearchDatagram(empty, sizeof empty, packet);
    EXPECT_EQ(d.command, 0x0F86);
    EXPECT_EQ(d.length, 0u);
    EXPECT_EQ(d.payload, packet.Buffer());
}

// ---- On the wire (private network namespace only) ---------------------------

bool in_private_namespace() {
    std::ifstream dev("/proc/self/net/dev");
    std::string line;
    int row = 0;
    while (std::getline(dev, line)) {
        if (++row <= 2) continue;  // two heading lines
        std::istringstream in(line);
        std::string name;
        in >> name;
        if (name != "lo:") return false;
    }
    return row > 2;
}

#define REQUIRE_NETNS()                                                            \
    do {                                                                           \
        if (!in_private_namespace())                                               \
            GTEST_SKIP() << "multicast tests run only inside scripts/in_netns.sh"; \
    } while (0)

// A UDP socket of the test: a scripted device (bound to 6022 and joined to the
// group) or a plain sender.
class Peer {
public:
    explicit Peer(uint16_t bind_port, bool join) {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        EXPECT_GE(fd_, 0);
        if (bind_port) {
            const int on = 1;
            setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(bind_port);
            EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << errno;
        }
        if (join) {
            ip_mreq m{};
            m.imr_multiaddr.s_addr = inet_addr("224.0.1.10");
            EXPECT_EQ(setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m), 0) << errno;
        }
    }
    ~Peer() { close(fd_); }

    // The next datagram within the deadline, with the sender's port; empty
    // optional-like result (ok false) on time-out.
    struct Received {
        bool ok = false;
        Bytes data;
        uint16_t from_port = 0;
    };
    Received receive(std::chrono::milliseconds deadline = 2000ms) {
        Received r;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(deadline.count())) != 1) return r;
        uint8_t buf[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return r;
        r.ok = true;
        r.data.assign(buf, buf + n);
        r.from_port = ntohs(from.sin_port);
        return r;
    }
    void send_to_group(const Bytes& data, uint16_t port = 6011) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = inet_addr("224.0.1.10");
        ASSERT_EQ(
            sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(data.size()))
            << errno;
    }

private:
    int fd_ = -1;
};

const Bytes kSearchRequest{0x11, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x00, 0x00};

// Callback results, waited for with a deadline.
struct Inbox {
    struct Entry {
        unsigned short command;
        unsigned int length;
        bool null_payload;
        Bytes payload;
    };
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Entry> entries;
    void* expected_user = nullptr;
    int wrong_user = 0;

    static void ZYNVS_CALL callback(unsigned short command, unsigned int length, void* payload,
                                    void* user) {
        auto* self = static_cast<Inbox*>(user);
        Entry e{command, length, payload == nullptr, {}};
        if (payload && length <= decodekit::kSearchPacketBytes) {
            e.payload.assign(static_cast<uint8_t*>(payload),
                             static_cast<uint8_t*>(payload) + length);
        }
        std::lock_guard lock(self->mutex);
        self->entries.push_back(std::move(e));
        self->cv.notify_all();
    }
    bool next(Entry* out, std::chrono::milliseconds deadline = 2000ms) {
        std::unique_lock lock(mutex);
        if (!cv.wait_for(lock, deadline, [&] { return !entries.empty(); })) return false;
        *out = entries.front();
        entries.pop_front();
        return true;
    }
};

int sockets_bound_to(uint16_t port) {
    std::ifstream udp("/proc/self/net/udp");
    std::string line;
    char needle[16];
    std::snprintf(needle, sizeof needle, ":%04X ", port);
    int count = 0;
    std::getline(udp, line);
    while (std::getline(udp, line)) {
        std::istringstream in(line);
        std::string slot, local;
        in >> slot >> local;
        if ((local + " ").find(needle) != std::string::npos) ++count;
    }
    return count;
}

TEST(SearchDVS, TwoOpensOneSocketAndEachSearchSendsOneRequest) {
    REQUIRE_NETNS();
    Peer device(6022, true);
    CSearchDVS search;
    ASSERT_EQ(search.Open(), 1);
    ASSERT_EQ(search.Open(), 1);
    EXPECT_TRUE(search.is_open());
    EXPECT_EQ(sockets_bound_to(6011), 1);
    EXPECT_EQ(search.SendSearchRequest(), 1);
    EXPECT_EQ(search.SendSearchRequest(), 1);
    for (int i = 0; i < 2; ++i) {
        const auto r = device.receive();
        ASSERT_TRUE(r.ok) << "request " << i;
        EXPECT_EQ(r.data, kSearchRequest);
        EXPECT_EQ(r.from_port, 6011);  // sent from the search socket
    }
    EXPECT_FALSE(device.receive(50ms).ok);
    EXPECT_EQ(search.Stop(), 1);
    EXPECT_FALSE(search.is_open());
    EXPECT_EQ(sockets_bound_to(6011), 0);
}

TEST(SearchDVS, RepliesAndMalformedDatagramsReachTheCallback) {
    REQUIRE_NETNS();
    Inbox inbox;
    CSearchDVS search;
    search.SetCallback(&Inbox::callback, &inbox);
    ASSERT_EQ(search.Open(), 1);
    Peer device(0, false);
    Inbox::Entry e;

    device.send_to_group({0x11, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x04, 0x00, 0xDE, 0xAD, 0xBE, 0xEF});
    ASSERT_TRUE(inbox.next(&e));
    EXPECT_EQ(e.command, 0x0F06);
    EXPECT_EQ(e.length, 4u);
    EXPECT_FALSE(e.null_payload);
    EXPECT_EQ(e.payload, (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));

    device.send_to_group({0x11, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x04, 0x00, 0xDE, 0xAD});
    ASSERT_TRUE(inbox.next(&e));
    EXPECT_EQ(e.command, 0);
    EXPECT_EQ(e.length, 0u);
    EXPECT_TRUE(e.null_payload);

    device.send_to_group({0x12, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x00, 0x00});
    ASSERT_TRUE(inbox.next(&e));
    EXPECT_EQ(e.command, 0);
    EXPECT_EQ(e.length, 65535u);
    EXPECT_TRUE(e.null_payload);

    // An empty datagram is malformed too, and does not end the search.
    device.send_to_group({});
    ASSERT_TRUE(inbox.next(&e));
    EXPECT_EQ(e.length, 65535u);
    EXPECT_TRUE(e.null_payload);

    // The largest payload that fits the 1400-byte receive buffer.
    Bytes big(1400, 0);
    big[0] = big[1] = 0x11;
    big[2] = 0x34;
    big[3] = 0x12;
    big[6] = static_cast<uint8_t>(1392 & 0xFF);
    big[7] = static_cast<uint8_t>(1392 >> 8);
    for (std::size_t i = 8; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    device.send_to_group(big);
    ASSERT_TRUE(inbox.next(&e));
    EXPECT_EQ(e.command, 0x1234);
    ASSERT_EQ(e.length, 1392u);
    EXPECT_EQ(e.payload, Bytes(big.begin() + 8, big.end()));

    // Longer datagrams are cut at 1400 bytes: their payload no longer fits.
    Bytes huge(3000, 0xAB);
    huge[0] = huge[1] = 0x11;
    huge[6] = static_cast<uint8_t>((3000 - 8) & 0xFF);
    huge[7] = static_cast<uint8_t>((3000 - 8) >> 8);
    device.send_to_group(huge);
    ASSERT_TRUE(inbox.next(&e));
    EXPECT_EQ(e.command, 0);
    EXPECT_EQ(e.length, 0u);
    EXPECT_TRUE(e.null_payload);

    EXPECT_EQ(search.Stop(), 1);
    // Nothing reaches the callback once stopped.
    device.send_to_group({0x11, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x00, 0x00});
    EXPECT_FALSE(inbox.next(&e, 100ms));
}

ModifyNetParaRecord edge_record() {
    ModifyNetParaRecord r = sample_record();
    std::strcpy(r.mac, "00-1A-2B-3C-4D-5E");
    std::memset(r.gateway, 0, sizeof r.gateway);
    return r;
}

TEST(SearchDVS, ChangeAndRebootRequestsCarryTheBlock) {
    REQUIRE_NETNS();
    Peer device(6022, true);
    CSearchDVS search;
    const ModifyNetParaRecord record = edge_record();

    // Before the search is open nothing goes out (the search request sent
    // after opening is the first datagram the device sees).
    EXPECT_FALSE(search.is_open());
    EXPECT_EQ(search.SendChangeRequest(&record), 1);
    EXPECT_EQ(search.SendRebootRequest(&record), 1);
    EXPECT_EQ(search.SendSearchRequest(), 1);
    ASSERT_EQ(search.Open(), 1);
    search.SendSearchRequest();
    auto r = device.receive();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data, kSearchRequest);

    // A null record sends nothing either.
    EXPECT_EQ(search.SendRebootRequest(nullptr), 1);
    EXPECT_EQ(search.SendChangeRequest(nullptr), 1);

    search.SendChangeRequest(&record);
    search.SendRebootRequest(&record);
    const Bytes block = block_bytes(record);
    for (uint8_t code : {0x02, 0x03}) {
        r = device.receive();
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.data.size(), 88u);
        EXPECT_EQ(slice(r.data, 0, 8), (Bytes{0x11, 0x11, code, 0x0F, 0x00, 0x00, 0x50, 0x00}));
        EXPECT_EQ(slice(r.data, 8, 80), block);
        EXPECT_EQ(slice(r.data, 8 + 40, 6), (Bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
        EXPECT_EQ(slice(r.data, 8 + 32, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(slice(r.data, 8 + 24, 4), (Bytes{0x0A, 0x01, 0xA8, 0xC0}));
    }
    EXPECT_FALSE(device.receive(50ms).ok);
}

TEST(SearchDVS, StopWhenNeverOpenedChangesNothing) {
    CSearchDVS search;
    EXPECT_EQ(search.Stop(), 1);
    EXPECT_EQ(search.Stop(), 1);
    EXPECT_FALSE(search.is_open());
}

// True once some thread of this process sits in the system call nr (the
// receive thread blocked in recvfrom).
bool wait_for_a_thread_in_syscall(long nr, std::chrono::milliseconds deadline = 2000ms) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::ifstream in(task.path() / "syscall");
            long number = -1;
            if (in >> number && number == nr) return true;
        }
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

TEST(SearchDVS, StopWakesTheReceiveAndJoinsPromptly) {
    REQUIRE_NETNS();
    Inbox inbox;
    CSearchDVS search;
    search.SetCallback(&Inbox::callback, &inbox);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(search.Open(), 1);
        ASSERT_TRUE(wait_for_a_thread_in_syscall(SYS_recvfrom));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(search.Stop(), 1);
        // Well inside the 500 ms wait: the closed socket woke the thread.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
        EXPECT_EQ(sockets_bound_to(6011), 0);
    }
    // Open again after stops: replies flow again.
    ASSERT_EQ(search.Open(), 1);
    Peer device(0, false);
    device.send_to_group({0x11, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00});
    Inbox::Entry e;
    ASSERT_TRUE(inbox.next(&e));
    EXPECT_EQ(e.command, 0x0001);
}

CSearchDVS* g_stop_from_callback = nullptr;
std::atomic<int> g_stop_result{-1};

void ZYNVS_CALL stop_in_callback(unsigned short, unsigned int, void*, void*) {
    g_stop_result = g_stop_from_callback->Stop();
}

TEST(SearchDVS, StopFromInsideTheCallbackDoesNotDeadlock) {
    REQUIRE_NETNS();
    CSearchDVS search;
    g_stop_from_callback = &search;
    g_stop_result = -1;
    search.SetCallback(&stop_in_callback, nullptr);
    ASSERT_EQ(search.Open(), 1);
    Peer device(0, false);
    device.send_to_group(kSearchRequest);
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (g_stop_result.load() == -1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(g_stop_result.load(), 1);
    EXPECT_FALSE(search.is_open());
    EXPECT_EQ(sockets_bound_to(6011), 0);
    search.SetCallback(nullptr, nullptr);
    ASSERT_EQ(search.Open(), 1);  // and it opens again
    EXPECT_EQ(search.Stop(), 1);
}

TEST(SearchDVS, SendsRacingWithStopAndOpen) {
    REQUIRE_NETNS();
    CSearchDVS search;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        while (!done) {
            search.SendSearchRequest();
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(search.Open(), 1);
        EXPECT_EQ(search.Stop(), 1);
    }
    done = true;
    sender.join();
    EXPECT_FALSE(search.is_open());
}

TEST(SearchDVS, BindFailureShowsTheTranslatedBox) {
    REQUIRE_NETNS();
    platform_test::TempFolder folder;
    decodekit::set_message_language_folder(folder.path().string());
    decodekit::reset_message_language();
    Peer squatter(6011, false);  // holds the port
    const char* english =
        "Binding fails, turn off the search tool, and make sure your network adapter is working";
    {
        platform_test::BoxCapture boxes;
        CSearchDVS search;
        EXPECT_EQ(search.Open(), 0);
        EXPECT_FALSE(search.is_open());
        // No settings file: its box first, then the bind box in English.
        const auto taken = boxes.taken();
        ASSERT_EQ(taken.size(), 2u);
        EXPECT_EQ(taken[0].first, "Load language library fails, the program will use");
        EXPECT_EQ(taken[0].second, "error");
        EXPECT_EQ(taken[1].first, english);
        EXPECT_EQ(taken[1].second, "SearchDVS");
        EXPECT_EQ(search.SendSearchRequest(), 1);  // fails silently
        EXPECT_EQ(search.Stop(), 1);
    }
    platform_test::write_text(folder.file("Vexora.ini"), "Language=2\n");
    platform_test::write_text(folder.file("qxr_French.ini"),
                              std::string(english) + "=La liaison a échoué\n");
    {
        platform_test::BoxCapture boxes;
        CSearchDVS search;
        EXPECT_EQ(search.Open(), 0);
        const auto taken = boxes.taken();
        ASSERT_EQ(taken.size(), 1u);
        EXPECT_EQ(taken[0].first, "La liaison a échoué");
        EXPECT_EQ(taken[0].second, "SearchDVS");
    }
    decodekit::set_message_language_folder("");
    decodekit::reset_message_language();
}

}  // namespace
