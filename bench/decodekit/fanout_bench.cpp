// Fan-out of one encoder's stream through the SDK's media service, measured
// against a plain fan-out writer of the same bytes in the same run.
//
//   decodekit_fanout_bench [seconds] [N ...]
//
// For each N (default 50 100 200 250 300 400): an encoder logs into the
// SDK's control service, binds its media connection and pushes a 4 Mbit/s
// video stream (25 frames/s of 20,000 bytes in 1024-byte fragments, a key
// frame every 25) for `seconds` (default 3) while N user clients, logged in
// and bound, are subscribed to its channel 0 (ZYNVS_AddTransDevice). One
// receiver thread reads all N media connections with epoll and counts the
// 0x0301 messages. Then the baseline: one thread with non-blocking sockets
// and epoll reads the same encoder stream and writes every message to N
// plain connections, read by the same receiver. Printed per N: delivered
// Mbit/s, packets lost (sent x N - received), CPU (cores) of the SDK (the
// process minus the encoder and receiver threads) and of the plain writer,
// CPU % of a core per delivered Mbit/s, and the ratio SDK / plain writer.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace {
namespace wire = zyn::wire;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kEncoderId = 1;
constexpr int kFirstClientId = 1000;
constexpr int kFrameBytes = 20000;  // 25 frames/s: 4 Mbit/s
constexpr int kFragmentBytes = 1024;
constexpr int kFps = 25;

double ProcessCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
           ru.ru_stime.tv_usec / 1e6;
}

double ThreadCpuSeconds(std::thread& t) {
    clockid_t id;
    if (pthread_getcpuclockid(t.native_handle(), &id) != 0) return 0;
    timespec ts{};
    clock_gettime(id, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

Bytes Message(uint16_t command, uint16_t word, const Bytes& body) {
    Bytes out(wire::kMessageHeaderBytes + body.size());
    wire::MutableMessageHeader(out.data()).Set(command, word, static_cast<uint16_t>(body.size()));
    std::copy(body.begin(), body.end(), out.begin() + wire::kMessageHeaderBytes);
    return out;
}

bool SendAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

int Connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Reads one whole message (blocking, 3 s at most); false on anything else.
bool ReadMessage(int fd, uint16_t* command, uint16_t* word, Bytes* body) {
    auto read_n = [&](uint8_t* out, size_t n) {
        size_t got = 0;
        while (got < n) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 3000) <= 0) return false;
            ssize_t r = recv(fd, out + got, n - got, 0);
            if (r <= 0) return false;
            got += static_cast<size_t>(r);
        }
        return true;
    };
    uint8_t h[wire::kMessageHeaderBytes];
    if (!read_n(h, sizeof h)) return false;
    const wire::MessageHeader header(h);
    *command = header.command();
    *word = header.second_word();
    body->resize(header.payload_length());
    return read_n(body->data(), body->size());
}

// Logs in as (id, kind); the session number, or -1.
int LogIn(int fd, int id, uint8_t kind, uint8_t channels) {
    Bytes body(wire::LoginRequest::kBytes);
    wire::MutableLoginRequest v(body.data());
    v.set_device_id(static_cast<uint32_t>(id));
    v.set_channel_count(channels);
    v.set_client_kind(kind);
    std::memcpy(v.account(), "admin", 5);
    std::memcpy(v.account() + 8, "pw", 2);
    Bytes m = Message(ZYN_CMD_LOGIN, 0, body);
    if (!SendAll(fd, m.data(), m.size())) return -1;
    uint16_t command = 0, word = 0;
    Bytes reply;
    while (ReadMessage(fd, &command, &word, &reply))
        if (command == wire::kLoginReply)
            return reply.size() >= 2 && reply[0] == 0 && reply[1] == 0 ? word : -1;
    return -1;
}

bool Bind(int fd, int id) {
    Bytes body(4);
    wire::StoreLe32(body.data(), static_cast<uint32_t>(id));
    Bytes m = Message(ZYN_CMD_STREAM_BIND, 0, body);
    return SendAll(fd, m.data(), m.size());
}

// One second of the stream: 25 frames of fragments, each frame contiguous.
std::vector<Bytes> MakeFrames(int* packets_per_frame) {
    std::vector<Bytes> frames;
    const int fragments = (kFrameBytes + kFragmentBytes - 1) / kFragmentBytes;
    *packets_per_frame = fragments;
    for (int f = 0; f < kFps; ++f) {
        Bytes frame;
        for (int i = 0; i < fragments; ++i) {
            const int n = std::min(kFragmentBytes, kFrameBytes - i * kFragmentBytes);
            Bytes body(wire::kFragmentHeaderBytes + static_cast<size_t>(n),
                       static_cast<uint8_t>(f + i));
            wire::MutableFragmentHeader h(body.data());
            h.set_channel(0);
            h.set_frame_type(f == 0 ? wire::kKeyFrameType : 8);
            h.set_fragment_index(static_cast<uint8_t>(i));
            h.set_fragment_count(static_cast<uint8_t>(fragments));
            h.set_frame_number(static_cast<uint32_t>(f));
            h.set_total_length(kFrameBytes);
            h.set_fragment_length(static_cast<uint16_t>(n));
            Bytes m = Message(ZYN_CMD_VIDEO_FRAGMENT, 0, body);
            frame.insert(frame.end(), m.begin(), m.end());
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

// Pushes the stream on `media` while `active`, a keep-alive on `control`
// (when >= 0) every second, until `quit`.
struct Encoder {
    int media = -1, control = -1, session = 0;
    std::atomic<bool> active{false}, quit{false};
    std::atomic<uint64_t> packets{0};
    std::vector<Bytes> frames;
    int packets_per_frame = 0;
    std::thread thread;

    void Run() {
        auto next = Clock::now();
        auto next_keepalive = next;
        int f = 0;
        const Bytes keepalive = Message(ZYN_CMD_KEEPALIVE, static_cast<uint16_t>(session), {});
        while (!quit) {
            next += std::chrono::microseconds(1'000'000 / kFps);
            std::this_thread::sleep_until(next);
            if (control >= 0 && Clock::now() >= next_keepalive) {
                SendAll(control, keepalive.data(), keepalive.size());
                next_keepalive += std::chrono::seconds(1);
                // Drain the replies so the socket never fills.
                uint8_t sink[4096];
                while (recv(control, sink, sizeof sink, MSG_DONTWAIT) > 0) {
                }
            }
            if (!active) {
                f = 0;  // every run starts with a key frame
                continue;
            }
            const Bytes& frame = frames[static_cast<size_t>(f)];
            if (!SendAll(media, frame.data(), frame.size())) break;
            packets += static_cast<uint64_t>(packets_per_frame);
            f = (f + 1) % kFps;
        }
    }
};

// Reads N connections with epoll and counts bytes and 0x0301 messages.
struct Receiver {
    struct Conn {
        int fd;
        uint8_t header[wire::kMessageHeaderBytes];
        size_t header_have = 0;
        size_t body_left = 0;
    };
    std::vector<Conn> conns;
    int ep = -1;
    std::atomic<bool> quit{false};
    std::atomic<uint64_t> bytes{0}, packets{0};
    std::thread thread;

    void Add(int fd) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        conns.push_back({fd, {}, 0, 0});
    }
    void Run() {
        ep = epoll_create1(0);
        for (size_t i = 0; i < conns.size(); ++i) {
            epoll_event e{};
            e.events = EPOLLIN;
            e.data.u64 = i;
            epoll_ctl(ep, EPOLL_CTL_ADD, conns[i].fd, &e);
        }
        std::vector<uint8_t> buf(1 << 18);
        epoll_event events[256];
        while (!quit) {
            int n = epoll_wait(ep, events, 256, 50);
            for (int k = 0; k < n; ++k) {
                Conn& c = conns[events[k].data.u64];
                for (;;) {
                    ssize_t r = recv(c.fd, buf.data(), buf.size(), 0);
                    if (r <= 0) break;
                    bytes += static_cast<uint64_t>(r);
                    Count(c, buf.data(), static_cast<size_t>(r));
                    if (static_cast<size_t>(r) < buf.size()) break;
                }
            }
        }
        close(ep);
    }
    void Count(Conn& c, const uint8_t* p, size_t n) {
        uint64_t seen = 0;
        while (n > 0) {
            if (c.body_left > 0) {
                const size_t take = std::min(c.body_left, n);
                c.body_left -= take;
                p += take;
                n -= take;
                continue;
            }
            const size_t take = std::min(sizeof c.header - c.header_have, n);
            std::memcpy(c.header + c.header_have, p, take);
            c.header_have += take;
            p += take;
            n -= take;
            if (c.header_have < sizeof c.header) break;
            const wire::MessageHeader h(c.header);
            if (h.command() == ZYN_CMD_VIDEO_FRAGMENT) ++seen;
            c.body_left = h.payload_length();
            c.header_have = 0;
        }
        packets += seen;
    }
};

// Waits until the receiver's count stops moving (or 5 s pass); the seconds
// from the call to the last packet counted (how far delivery lagged).
double Settle(Receiver& rx, uint64_t expected) {
    const auto start = Clock::now();
    auto end = start + std::chrono::seconds(5);
    uint64_t last = rx.packets;
    auto still_since = Clock::now();
    while (Clock::now() < end && rx.packets < expected) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (rx.packets != last) {
            last = rx.packets;
            still_since = Clock::now();
        } else if (Clock::now() - still_since > std::chrono::milliseconds(700)) {
            break;
        }
    }
    return std::chrono::duration<double>(still_since - start).count();
}

struct Result {
    double mbit_s = 0, cores = 0, lag_s = 0;
    uint64_t lost = 0;
};

// The plain fan-out writer: one thread, non-blocking sockets, epoll.
struct PlainWriter {
    int encoder = -1;
    std::vector<int> outs;
    std::vector<std::string> pending;
    std::atomic<bool> quit{false};
    std::thread thread;

    void Run() {
        int ep = epoll_create1(0);
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.u64 = outs.size();
        epoll_ctl(ep, EPOLL_CTL_ADD, encoder, &e);
        for (size_t i = 0; i < outs.size(); ++i) {
            fcntl(outs[i], F_SETFL, fcntl(outs[i], F_GETFL) | O_NONBLOCK);
            epoll_event o{};
            o.events = 0;
            o.data.u64 = i;
            epoll_ctl(ep, EPOLL_CTL_ADD, outs[i], &o);
        }
        pending.assign(outs.size(), {});
        std::vector<uint8_t> in(1 << 18);
        size_t have = 0;
        epoll_event events[256];
        auto write_to = [&](size_t i, const uint8_t* p, size_t n) {
            if (!pending[i].empty()) {
                pending[i].append(reinterpret_cast<const char*>(p), n);
                return;
            }
            ssize_t w = send(outs[i], p, n, MSG_NOSIGNAL);
            if (w < 0) w = 0;
            if (static_cast<size_t>(w) < n) {
                pending[i].assign(reinterpret_cast<const char*>(p) + w, n - static_cast<size_t>(w));
                epoll_event o{};
                o.events = EPOLLOUT;
                o.data.u64 = i;
                epoll_ctl(ep, EPOLL_CTL_MOD, outs[i], &o);
            }
        };
        while (!quit) {
            int n = epoll_wait(ep, events, 256, 50);
            for (int k = 0; k < n; ++k) {
                const size_t i = events[k].data.u64;
                if (i == outs.size()) {
                    ssize_t r = recv(encoder, in.data() + have, in.size() - have, 0);
                    if (r <= 0) continue;
                    have += static_cast<size_t>(r);
                    // Whole messages go out; a partial one waits for its rest.
                    size_t whole = 0;
                    while (have - whole >= wire::kMessageHeaderBytes) {
                        const size_t len = wire::kMessageHeaderBytes +
                                           wire::MessageHeader(in.data() + whole).payload_length();
                        if (have - whole < len) break;
                        whole += len;
                    }
                    for (size_t o = 0; o < outs.size(); ++o) write_to(o, in.data(), whole);
                    std::memmove(in.data(), in.data() + whole, have - whole);
                    have -= whole;
                } else {
                    std::string& p = pending[i];
                    ssize_t w = send(outs[i], p.data(), p.size(), MSG_NOSIGNAL);
                    if (w > 0) p.erase(0, static_cast<size_t>(w));
                    if (p.empty()) {
                        epoll_event o{};
                        o.events = 0;
                        o.data.u64 = i;
                        epoll_ctl(ep, EPOLL_CTL_MOD, outs[i], &o);
                    }
                }
            }
        }
        close(ep);
    }
};

Result RunSdk(int n, int seconds, uint16_t ctrl_port, uint16_t media_port, Encoder& enc) {
    Receiver rx;
    std::vector<int> controls;
    for (int k = 0; k < n; ++k) {
        const int id = kFirstClientId + k;
        DeviceLoginInfo r{};
        r.device_id = id;
        r.device_kind = wire::kPartyUserClient;
        std::strcpy(r.user_name, "admin");
        std::strcpy(r.password, "pw");
        ZYNVS_AddDevice(&r);
        int control = Connect(ctrl_port), media = Connect(media_port);
        if (control < 0 || media < 0 || LogIn(control, id, wire::kPartyUserClient, 0) < 0 ||
            !Bind(media, id)) {
            std::fprintf(stderr, "client %d could not log in\n", id);
            std::exit(1);
        }
        controls.push_back(control);
        rx.Add(media);
    }
    // The binds are handled in order on each connection: a keep-alive round
    // trip on the last control connection follows them closely enough; wait
    // a little more for the media service's threads.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int k = 0; k < n; ++k) ZYNVS_AddTransDevice(kEncoderId, 0, kFirstClientId + k);
    rx.thread = std::thread([&] { rx.Run(); });
    const uint64_t sent_before = enc.packets;
    const double cpu0 = ProcessCpuSeconds(), enc0 = ThreadCpuSeconds(enc.thread),
                 rx0 = ThreadCpuSeconds(rx.thread);
    const auto t0 = Clock::now();
    enc.active = true;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    enc.active = false;
    const uint64_t sent = enc.packets - sent_before;
    const double lag = Settle(rx, sent * static_cast<uint64_t>(n));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = (ProcessCpuSeconds() - cpu0) - (ThreadCpuSeconds(enc.thread) - enc0) -
                       (ThreadCpuSeconds(rx.thread) - rx0);
    Result res;
    res.lag_s = lag;
    res.mbit_s = rx.bytes * 8.0 / 1e6 / wall;
    res.cores = cpu / wall;
    const uint64_t expected = sent * static_cast<uint64_t>(n);
    res.lost = expected > rx.packets ? expected - rx.packets : 0;
    rx.quit = true;
    rx.thread.join();
    for (int k = 0; k < n; ++k) {
        close(rx.conns[static_cast<size_t>(k)].fd);
        close(controls[static_cast<size_t>(k)]);
        ZYNVS_DeleteDevice(kFirstClientId + k);
    }
    return res;
}

Result RunPlain(int n, int seconds, const std::vector<Bytes>& frames, int packets_per_frame) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 1024);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const uint16_t port = ntohs(a.sin_port);
    Encoder enc;
    enc.frames = frames;
    enc.packets_per_frame = packets_per_frame;
    enc.media = Connect(port);
    PlainWriter writer;
    writer.encoder = accept(listener, nullptr, nullptr);
    Receiver rx;
    for (int k = 0; k < n; ++k) {
        rx.Add(Connect(port));
        int fd = accept(listener, nullptr, nullptr);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        writer.outs.push_back(fd);
    }
    writer.thread = std::thread([&] { writer.Run(); });
    rx.thread = std::thread([&] { rx.Run(); });
    enc.thread = std::thread([&] { enc.Run(); });
    const double w0 = ThreadCpuSeconds(writer.thread);
    const auto t0 = Clock::now();
    enc.active = true;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    enc.active = false;
    const uint64_t sent = enc.packets;
    Settle(rx, sent * static_cast<uint64_t>(n));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    Result res;
    res.cores = (ThreadCpuSeconds(writer.thread) - w0) / wall;
    res.mbit_s = rx.bytes * 8.0 / 1e6 / wall;
    const uint64_t expected = sent * static_cast<uint64_t>(n);
    res.lost = expected > rx.packets ? expected - rx.packets : 0;
    enc.quit = true;
    enc.thread.join();
    writer.quit = true;
    writer.thread.join();
    rx.quit = true;
    rx.thread.join();
    close(enc.media);
    close(writer.encoder);
    for (int fd : writer.outs) close(fd);
    for (auto& c : rx.conns) close(c.fd);
    close(listener);
    return res;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (seconds < 1) seconds = 3;
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty()) counts = {50, 100, 200, 250, 300, 400};
    rlimit rl{};
    getrlimit(RLIMIT_NOFILE, &rl);
    rl.rlim_cur = rl.rlim_max;
    setrlimit(RLIMIT_NOFILE, &rl);

    int packets_per_frame = 0;
    const std::vector<Bytes> frames = MakeFrames(&packets_per_frame);

    // The platform: control and media services on free-ish ports.
    const uint16_t ctrl_port = 19500, media_port = 19501;
    DeviceLoginInfo r{};
    r.device_id = kEncoderId;
    r.device_kind = wire::kPartyEncoder;
    r.channel_count = 1;
    std::strcpy(r.user_name, "admin");
    std::strcpy(r.password, "pw");
    if (ZYNVS_AddDevice(&r) != 1 || !ZYNVS_StartCtrlService(ctrl_port, 0, 0) ||
        !ZYNVS_StartMediaService(media_port, 0, 0)) {
        std::fprintf(stderr, "the platform services do not start (ports %u, %u busy?)\n", ctrl_port,
                     media_port);
        return 1;
    }
    Encoder enc;
    enc.frames = frames;
    enc.packets_per_frame = packets_per_frame;
    enc.control = Connect(ctrl_port);
    enc.media = Connect(media_port);
    enc.session = LogIn(enc.control, kEncoderId, wire::kPartyEncoder, 1);
    if (enc.session < 0 || !Bind(enc.media, kEncoderId)) {
        std::fprintf(stderr, "the encoder could not log in\n");
        return 1;
    }
    enc.thread = std::thread([&] { enc.Run(); });

    std::printf(
        "one encoder at %.1f Mbit/s (%d-byte frames, %d fragments each) to N clients, %d s "
        "each\n\n",
        kFrameBytes * 8.0 * kFps / 1e6, kFrameBytes, packets_per_frame, seconds);
    std::printf("%6s | %10s %8s %7s %7s %11s | %10s %8s %7s %11s | %6s\n", "N", "SDK Mbit/s",
                "lost", "lag s", "cores", "%core/Mbit", "plain Mb/s", "lost", "cores", "%core/Mbit",
                "ratio");
    int best = 0;
    for (int n : counts) {
        const Result sdk = RunSdk(n, seconds, ctrl_port, media_port, enc);
        const Result plain = RunPlain(n, seconds, frames, packets_per_frame);
        const double sdk_per = sdk.mbit_s > 0 ? 100.0 * sdk.cores / sdk.mbit_s : 0;
        const double plain_per = plain.mbit_s > 0 ? 100.0 * plain.cores / plain.mbit_s : 0;
        std::printf("%6d | %10.1f %8llu %7.2f %7.3f %11.5f | %10.1f %8llu %7.3f %11.5f | %6.2f\n",
                    n, sdk.mbit_s, static_cast<unsigned long long>(sdk.lost), sdk.lag_s, sdk.cores,
                    sdk_per, plain.mbit_s, static_cast<unsigned long long>(plain.lost), plain.cores,
                    plain_per, plain_per > 0 ? sdk_per / plain_per : 0.0);
        std::fflush(stdout);
        // Delivered: nothing lost, and nothing still arriving half a second
        // after the encoder stopped (the platform kept up).
        if (sdk.lost == 0 && sdk.lag_s < 0.5) best = std::max(best, n);
    }
    std::printf("\nlargest N delivered by the SDK with no loss and in time: %d (%.0f Mbit/s out)\n",
                best, best * kFrameBytes * 8.0 * kFps / 1e6);
    enc.quit = true;
    enc.thread.join();
    ZYNVS_StopMediaService();
    ZYNVS_StopCtrlService();
    ZYNVS_UnInit();
    return 0;
}
