// Linkcore message throughput over loopback against a plain blocking-socket
// loop in the same run: 1400-byte payloads, client -> server, counted where
// they are received. Usage: linkcore_throughput [seconds per run, default 0.4]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <memory>
#include <thread>
#include <vector>

#include "linkcore/frame_decoder.h"
#include "linkcore/linkcore.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kPayloadBytes = 1400;
constexpr std::size_t kFrameBytes = linkcore::kHeaderBytes + kPayloadBytes;
constexpr uint16_t kCommand = 0x0301;
constexpr int kReceiverThreads = 2;  // as many as Linkcore's I/O pool

struct Result {
    uint64_t messages = 0;
    double seconds = 0;
    double cpu_seconds = 0;  // whole process, all threads
    double per_second() const { return seconds > 0 ? messages / seconds : 0; }
    double mb_per_second() const { return per_second() * kFrameBytes / 1e6; }
    double cpu_us_per_message() const { return messages ? cpu_seconds * 1e6 / messages : 0; }
};

double ProcessCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs one measurement and adds the process CPU time it used.
template <typename Run>
Result Measure(Run run, int connections, double seconds) {
    const double cpu0 = ProcessCpuSeconds();
    Result r = run(connections, seconds);
    r.cpu_seconds = ProcessCpuSeconds() - cpu0;
    return r;
}

int SenderThreads(int connections) { return connections == 1 ? 1 : 2; }

void NoDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

// Waits until `received` reaches `sent`, returns when that happened.
Clock::time_point WaitDrained(const std::atomic<uint64_t>& received, uint64_t sent) {
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    while (received.load(std::memory_order_relaxed) < sent && Clock::now() < give_up) {
        std::this_thread::yield();
    }
    return Clock::now();
}

// ---- Linkcore: CTcpClient::SendMessage into a CTcpServer ----

int CountMessage(int, int, uint16_t command, uint16_t, const uint8_t*, uint16_t, void* user) {
    if (command == kCommand) {
        static_cast<std::atomic<uint64_t>*>(user)->fetch_add(1, std::memory_order_relaxed);
    }
    return 0;
}

Result RunLinkcore(int connections, double seconds) {
    std::atomic<uint64_t> received{0};
    CTcpServer server;
    server.SetBindAddress("127.0.0.1");
    server.RegisterCallback(&CountMessage, &received);
    if (!server.Open(0, 0)) {
        std::fprintf(stderr, "server open failed\n");
        std::exit(1);
    }
    std::vector<std::unique_ptr<CTcpClient>> clients;
    for (int i = 0; i < connections; ++i) {
        clients.push_back(std::make_unique<CTcpClient>());
        if (!clients.back()->Open("127.0.0.1", server.LocalPort())) {
            std::fprintf(stderr, "client open failed\n");
            std::exit(1);
        }
    }
    while (server.ConnectionCount() < connections) std::this_thread::yield();

    std::vector<uint8_t> payload(kPayloadBytes, 0x5A);
    std::atomic<uint64_t> sent{0};
    const int senders = SenderThreads(connections);
    const auto start = Clock::now();
    const auto stop = start + std::chrono::duration<double>(seconds);
    std::vector<std::thread> threads;
    for (int t = 0; t < senders; ++t) {
        threads.emplace_back([&, t] {
            uint64_t n = 0;
            while (Clock::now() < stop) {
                for (int c = t; c < connections; c += senders) {
                    for (int burst = 0; burst < 16; ++burst) {
                        if (clients[c]->SendMessage(kCommand, 0, payload.data(), kPayloadBytes) > 0)
                            ++n;
                    }
                }
            }
            sent.fetch_add(n);
        });
    }
    for (auto& th : threads) th.join();
    const auto end = WaitDrained(received, sent.load());
    Result r;
    r.messages = received.load();
    r.seconds = std::chrono::duration<double>(end - start).count();
    if (r.messages != sent.load()) {
        std::fprintf(stderr, "linkcore: %llu sent, %llu received\n",
                     static_cast<unsigned long long>(sent.load()),
                     static_cast<unsigned long long>(r.messages));
    }
    return r;
}

// ---- Plain: blocking send() of framed bytes, recv() loop with a header walk ----

Result RunPlain(int connections, double seconds) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(listener, 256);
    socklen_t len = sizeof(a);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::vector<int> out_fds, in_fds;
    for (int i = 0; i < connections; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) std::exit(1);
        NoDelay(fd);
        out_fds.push_back(fd);
        int in = ::accept(listener, nullptr, nullptr);
        NoDelay(in);
        in_fds.push_back(in);
    }
    ::close(listener);

    std::vector<uint8_t> frame(kFrameBytes, 0x5A);
    linkcore::EncodeHeader(frame.data(), kCommand, 0, kPayloadBytes);
    std::atomic<uint64_t> received{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> receivers;
    const int receiver_threads = std::min(kReceiverThreads, connections);
    for (int t = 0; t < receiver_threads; ++t) {
        receivers.emplace_back([&, t] {
            std::vector<int> mine;
            for (int c = t; c < connections; c += receiver_threads) mine.push_back(in_fds[c]);
            // Per connection: bytes still to skip of the current message and
            // a partial header.
            std::vector<std::size_t> skip(mine.size(), 0);
            std::vector<std::vector<uint8_t>> partial(mine.size());
            std::vector<uint8_t> buf(64 * 1024);
            std::vector<pollfd> pfds(mine.size());
            const bool single = mine.size() == 1;
            if (single) {
                // One connection: a plain blocking recv(), woken now and then
                // to look at the stop flag.
                timeval tv{0, 50000};
                ::setsockopt(mine[0], SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
            }
            while (!done.load(std::memory_order_relaxed)) {
                if (single) {
                    pfds[0].revents = POLLIN;
                } else {
                    for (std::size_t i = 0; i < mine.size(); ++i) pfds[i] = {mine[i], POLLIN, 0};
                    if (::poll(pfds.data(), pfds.size(), 50) <= 0) continue;
                }
                for (std::size_t i = 0; i < mine.size(); ++i) {
                    if (!(pfds[i].revents & POLLIN)) continue;
                    const ssize_t n = ::recv(mine[i], buf.data(), buf.size(), 0);
                    if (n <= 0) continue;
                    std::size_t pos = 0;
                    uint64_t count = 0;
                    const std::size_t total = static_cast<std::size_t>(n);
                    while (pos < total) {
                        if (skip[i] > 0) {
                            const std::size_t take = std::min(skip[i], total - pos);
                            skip[i] -= take;
                            pos += take;
                            if (skip[i] == 0) ++count;
                            continue;
                        }
                        auto& h = partial[i];
                        const uint8_t* header;
                        if (h.empty() && total - pos >= linkcore::kHeaderBytes) {
                            header = buf.data() + pos;
                            pos += linkcore::kHeaderBytes;
                        } else {
                            while (h.size() < linkcore::kHeaderBytes && pos < total) {
                                h.push_back(buf[pos++]);
                            }
                            if (h.size() < linkcore::kHeaderBytes) break;
                            header = h.data();
                        }
                        if (header[0] != linkcore::kSync || header[1] != linkcore::kSync) std::abort();
                        skip[i] = linkcore::LoadLe16(header + 6);
                        h.clear();
                        if (skip[i] == 0) ++count;
                    }
                    received.fetch_add(count, std::memory_order_relaxed);
                }
            }
        });
    }

    std::atomic<uint64_t> sent{0};
    const int senders = SenderThreads(connections);
    const auto start = Clock::now();
    const auto stop = start + std::chrono::duration<double>(seconds);
    std::vector<std::thread> threads;
    for (int t = 0; t < senders; ++t) {
        threads.emplace_back([&, t] {
            uint64_t n = 0;
            while (Clock::now() < stop) {
                for (int c = t; c < connections; c += senders) {
                    for (int burst = 0; burst < 16; ++burst) {
                        if (::send(out_fds[c], frame.data(), frame.size(), MSG_NOSIGNAL) ==
                            static_cast<ssize_t>(frame.size()))
                            ++n;
                    }
                }
            }
            sent.fetch_add(n);
        });
    }
    for (auto& th : threads) th.join();
    const auto end = WaitDrained(received, sent.load());
    done.store(true);
    for (auto& th : receivers) th.join();
    for (int fd : out_fds) ::close(fd);
    for (int fd : in_fds) ::close(fd);
    Result r;
    r.messages = received.load();
    r.seconds = std::chrono::duration<double>(end - start).count();
    return r;
}

Result Best(const Result& a, const Result& b) { return a.per_second() >= b.per_second() ? a : b; }

}  // namespace

int main(int argc, char** argv) {
    // Arguments (all optional): seconds per run; "plain" or "linkcore" to run
    // one path only and a connection count (for profiling).
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.4;
    const std::string only = argc > 2 ? argv[2] : "";
    std::vector<int> connection_counts = {1, 64};
    if (argc > 3) connection_counts = {std::atoi(argv[3])};
    constexpr int kRounds = 3;
    std::printf("Linkcore TCP throughput over loopback: %u-byte payloads (%zu bytes framed),\n"
                "client -> server, counted on receipt in the server. Best of %d interleaved\n"
                "runs of %.1f s per row. Baseline \"plain\": blocking send()/recv() of the\n"
                "same framed bytes, one receiver thread per connection up to %d, poll()\n"
                "over the rest. CPU = process CPU time per message, all threads.\n\n",
                kPayloadBytes, kFrameBytes, kRounds, seconds, kReceiverThreads);
    std::printf("%-12s %-9s %14s %10s %12s %8s\n", "connections", "path", "messages/s", "MB/s",
                "CPU us/msg", "ratio");
    bool all_met = true;
    for (int connections : connection_counts) {
        Result plain, link;
        for (int round = 0; round < kRounds; ++round) {
            if (only != "linkcore") plain = Best(plain, Measure(RunPlain, connections, seconds));
            if (only != "plain") link = Best(link, Measure(RunLinkcore, connections, seconds));
        }
        const double ratio = plain.per_second() > 0 ? link.per_second() / plain.per_second() : 0;
        std::printf("%-12d %-9s %14.0f %10.1f %12.2f\n", connections, "plain", plain.per_second(),
                    plain.mb_per_second(), plain.cpu_us_per_message());
        std::printf("%-12d %-9s %14.0f %10.1f %12.2f %8.2f\n", connections, "linkcore",
                    link.per_second(), link.mb_per_second(), link.cpu_us_per_message(), ratio);
        all_met = all_met && ratio >= 0.8;
    }
    if (only.empty()) {
        std::printf("\ntarget: linkcore >= 0.80 of plain: %s\n", all_met ? "met" : "NOT met");
    }
    return 0;
}
