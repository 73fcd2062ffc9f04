// devsim_bench [seconds] [devices]: serves 4 channels per device (default 16
// devices = 64 channels) of 1920x1080 at 25 fps and 4 Mbit/s to one loopback
// stream connection per channel for `seconds` (5), read by one plain epoll
// reader; then a plain blocking socket writer sends the same fragment bytes
// unpaced over 64 loopback connections to the same reader. Prints the
// emulator's CPU use and bit rate next to the writer's byte rate and CPU
// cost per byte (the ratio is the number to watch).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tools/devsim/devsim.h"
#include "tools/devsim/wire.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

double ThreadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

int Connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("connect to " + std::to_string(port) + " failed");
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void SendAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
        if (r <= 0) throw std::runtime_error("send failed");
        p += r;
        n -= static_cast<size_t>(r);
    }
}

void RecvAll(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t r = recv(fd, p, n, 0);
        if (r <= 0) throw std::runtime_error("connection closed");
        p += r;
        n -= static_cast<size_t>(r);
    }
}

// Sends a request and reads messages until `reply` arrives.
Bytes Request(int fd, uint16_t cmd, const Bytes& payload, uint16_t reply) {
    Bytes m = devsim::BuildMessage(cmd, 0, payload);
    SendAll(fd, m.data(), m.size());
    for (;;) {
        uint8_t h[8];
        RecvAll(fd, h, 8);
        Bytes p(zyn::wire::LoadLe16(h + 6));
        RecvAll(fd, p.data(), p.size());
        if (zyn::wire::LoadLe16(h + 2) == reply) return p;
    }
}

// One thread reading every registered socket and counting the bytes.
class Reader {
public:
    Reader() : ep_(epoll_create1(0)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Reader() {
        stop_ = true;
        thread_.join();
        close(ep_);
    }
    void Add(int fd) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        epoll_ctl(ep_, EPOLL_CTL_ADD, fd, &e);
    }
    void Remove(int fd) { epoll_ctl(ep_, EPOLL_CTL_DEL, fd, nullptr); }
    uint64_t bytes() const { return bytes_; }
    double cpu() const { return cpu_; }

private:
    void Run() {
        std::vector<uint8_t> buf(1 << 16);
        epoll_event ev[64];
        while (!stop_) {
            int n = epoll_wait(ep_, ev, 64, 50);
            for (int i = 0; i < n; ++i) {
                ssize_t r = recv(ev[i].data.fd, buf.data(), buf.size(), MSG_DONTWAIT);
                if (r > 0) bytes_ += static_cast<uint64_t>(r);
                if (r == 0) Remove(ev[i].data.fd);
            }
            cpu_ = ThreadCpu();
        }
    }
    int ep_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> bytes_{0};
    std::atomic<double> cpu_{0};
    std::thread thread_;
};

// The fragment messages of one frame, framed as the emulator frames them.
Bytes FrameMessages(const devsim::EncodedFrame& f, uint8_t channel, uint32_t number) {
    Bytes out;
    const size_t frag = 1024, total = f.data.size();
    const size_t count = (total + frag - 1) / frag;
    for (size_t i = 0; i < count; ++i) {
        size_t n = std::min(frag, total - i * frag);
        Bytes p(24 + n, 0);
        p[1] = channel;
        p[2] = 5;
        p[4] = f.key ? 7 : 8;
        p[6] = static_cast<uint8_t>(i);
        p[7] = static_cast<uint8_t>(count);
        zyn::wire::StoreLe32(&p[8], number);
        zyn::wire::StoreLe32(&p[12], static_cast<uint32_t>(total));
        zyn::wire::StoreLe16(&p[22], static_cast<uint16_t>(n));
        std::memcpy(&p[24], f.data.data() + i * frag, n);
        devsim::AppendMessage(&out, 0x0301, 0, p.data(), p.size());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const double run_seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int devices = argc > 2 ? std::atoi(argv[2]) : 16;
    const int channels = devices * 4;
    devsim::QuietCodecLogs();

    devsim::Config cfg;
    for (int d = 0; d < devices; ++d) {
        devsim::DeviceConfig dc;
        dc.device_id = static_cast<uint32_t>(100 + d);
        dc.channel_count = 4;
        dc.main = {1920, 1080, 25, 4000, 50, 1};
        dc.sub = {352, 288, 25, 256, 50, 1};
        dc.audio = false;
        cfg.devices.push_back(dc);
    }
    devsim::Emulator emu(cfg);
    auto t0 = Clock::now();
    std::string error;
    if (!emu.Start(&error)) {
        std::fprintf(stderr, "devsim_bench: %s\n", error.c_str());
        return 1;
    }
    double start_seconds = Seconds(Clock::now() - t0);
    double encode_seconds = 0, loop_kbps = 0;
    for (int ch = 0; ch < 4; ++ch) {
        auto loop = emu.device(0).Loop(ch, 0);
        encode_seconds += loop->encode_seconds;
        loop_kbps += loop->BitrateKbps() / 4;
    }
    std::printf("devsim_bench: %d channels of 1920x1080, 25 fps, 4000 kbit/s target, GOP 50\n",
                channels);
    std::printf("  GOP loops: 4 encoded in %.2f s (libx264), start-up %.2f s, loop rate %.0f "
                "kbit/s per channel\n",
                encode_seconds, start_seconds, loop_kbps);

    // One control session and one stream connection per channel.
    Reader reader;
    std::vector<int> fds;
    Bytes login(40, 0);
    login[5] = 2;
    std::memcpy(&login[8], "admin", 5);
    std::memcpy(&login[16], "admin", 5);
    for (int d = 0; d < devices; ++d) {
        for (uint8_t ch = 0; ch < 4; ++ch) {
            int ctl = Connect(emu.device(d).control_port());
            fds.push_back(ctl);
            Request(ctl, 0x0101, login, 0x8101);
            Bytes req(16, 0);
            req[1] = ch;
            req[2] = 1;
            Bytes r = Request(ctl, 0x0201, req, 0x8201);
            int str = Connect(emu.device(d).stream_port());
            fds.push_back(str);
            Bytes bind(4, 0);
            std::memcpy(bind.data(), &r[2], 2);
            Bytes m = devsim::BuildMessage(0x0202, 0, bind);
            SendAll(str, m.data(), m.size());
            reader.Add(str);
        }
    }
    for (int d = 0; d < devices; ++d) emu.device(d).WaitForRunningStreams(4, 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // let the pacing settle

    double cpu0 = emu.IoThreadCpuSeconds(), rcpu0 = reader.cpu();
    uint64_t sent0 = emu.StreamBytesSent(), recv0 = reader.bytes();
    auto w0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(run_seconds));
    double wall = Seconds(Clock::now() - w0);
    double emu_cpu = emu.IoThreadCpuSeconds() - cpu0;
    double reader_cpu = reader.cpu() - rcpu0;
    uint64_t sent = emu.StreamBytesSent() - sent0, received = reader.bytes() - recv0;
    for (int fd : fds) {
        reader.Remove(fd);
        close(fd);
    }
    fds.clear();
    emu.Stop();

    const double emu_mbps = sent * 8 / wall / 1e6;
    std::printf("  emulator: %.1f s, %.1f Mbit/s sent (%.2f Mbit/s per channel), %.1f Mbit/s "
                "read; I/O thread CPU %.1f%% of one core, %.2f ns per byte; reader %.1f%%\n",
                wall, emu_mbps, emu_mbps / channels, received * 8 / wall / 1e6,
                100 * emu_cpu / wall, 1e9 * emu_cpu / std::max<uint64_t>(sent, 1),
                100 * reader_cpu / wall);

    // Baseline: a plain writer sending the same fragment bytes, unpaced.
    std::vector<Bytes> frames[4];
    for (int ch = 0; ch < 4; ++ch) {
        auto loop = devsim::GetVideoLoop(
            {1920, 1080, 25, 4000, 50, 50, ch, 0}, &error);
        for (size_t i = 0; i < loop->frames.size(); ++i)
            frames[ch].push_back(
                FrameMessages(loop->frames[i], static_cast<uint8_t>(ch), static_cast<uint32_t>(i)));
    }
    int lst = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(lst, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(lst, 128);
    socklen_t al = sizeof a;
    getsockname(lst, reinterpret_cast<sockaddr*>(&a), &al);
    std::vector<int> writers;
    for (int i = 0; i < channels; ++i) {
        writers.push_back(Connect(ntohs(a.sin_port)));
        int acc = accept(lst, nullptr, nullptr);
        fds.push_back(acc);
        reader.Add(acc);
    }
    uint64_t written = 0;
    double wcpu = 0, wwall = 0;
    std::thread writer([&] {
        double c0 = ThreadCpu();
        auto s0 = Clock::now();
        auto end = s0 + std::chrono::duration<double>(std::min(run_seconds, 2.0));
        for (size_t i = 0; Clock::now() < end; ++i) {
            for (int c = 0; c < channels; ++c) {
                const Bytes& f = frames[c % 4][i % frames[c % 4].size()];
                SendAll(writers[static_cast<size_t>(c)], f.data(), f.size());
                written += f.size();
            }
        }
        wwall = Seconds(Clock::now() - s0);
        wcpu = ThreadCpu() - c0;
    });
    writer.join();
    for (int fd : writers) close(fd);
    for (int fd : fds) {
        reader.Remove(fd);
        close(fd);
    }
    close(lst);
    const double plain_mbps = written * 8 / wwall / 1e6;
    const double plain_ns = 1e9 * wcpu / std::max<uint64_t>(written, 1);
    std::printf("  plain writer: %.1f s, %.1f Mbit/s unpaced, CPU %.1f%% of one core, %.2f ns "
                "per byte\n",
                wwall, plain_mbps, 100 * wcpu / wwall, plain_ns);
    std::printf("  ratios: emulator CPU per byte / plain writer = %.2f; emulator rate / loop "
                "rate = %.3f (pacing); / target (%d x 4 Mbit/s) = %.2f; the plain writer could "
                "carry %.1fx the emulator's rate\n",
                (1e9 * emu_cpu / std::max<uint64_t>(sent, 1)) / plain_ns,
                emu_mbps / (channels * loop_kbps / 1000.0), channels, emu_mbps / (channels * 4.0),
                plain_mbps / emu_mbps);
    return 0;
}
