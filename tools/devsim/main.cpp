// zyn-devsim: runs emulated devices until SIGINT or SIGTERM.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <algorithm>
#include <memory>

#include "tools/devsim/console.h"
#include "tools/devsim/devsim.h"
#include "tools/devsim/party.h"
#include "tools/devsim/qv_device.h"

namespace {

const char kUsage[] =
    "usage: zyn-devsim [options]\n"
    "Runs emulated devices of the ZynVS device protocol until SIGINT or SIGTERM.\n"
    "\n"
    "  --devices N            number of devices (1); 0 runs parties only\n"
    "  --channels N           channels per device, 1..4 (4)\n"
    "  --control-port P       device k listens on P+2k (control) and P+2k+1 (streams) (7000);\n"
    "                         0 picks free ports\n"
    "  --bind ADDR            IPv4 address to listen on (127.0.0.1)\n"
    "  --device-id N          id of the first device, device k gets N+k (1)\n"
    "  --user U               account user name, at most 8 bytes (admin)\n"
    "  --password W           account password, at most 8 bytes (admin)\n"
    "  --udp                  control over UDP instead of TCP\n"
    "  --udp-and-tcp          control over both UDP and TCP\n"
    "  --newer                answer logins with 0x8588 and the 504-byte information\n"
    "  --platform             play the platform server that the devices are reached through\n"
    "                         (token-checked login, per-channel stream connections)\n"
    "  --token T              platform role: the token a client starts with\n"
    "  --login-reply-bytes N  platform role: length of login answers, 4..1024 (124; below 84\n"
    "                         no new token, 32 is the short answer)\n"
    "  --refuse-talk          platform role: refuse talk requests\n"
    "  --size WxH             main stream size (1280x720)\n"
    "  --sub-size WxH         sub stream size (352x288)\n"
    "  --fps N                frame rate of both streams (25)\n"
    "  --bitrate KBPS         main stream bit rate (2000)\n"
    "  --sub-bitrate KBPS     sub stream bit rate (256)\n"
    "  --gop N                frames per GOP; the replayed loop is one GOP (50)\n"
    "  --fragment-bytes N     video data bytes per fragment (1024)\n"
    "  --no-audio             refuse audio streams\n"
    "  --audio-format N       audio format number 0, 1 or 2 (1)\n"
    "  --alaw                 G.711 A-law instead of mu-law\n"
    "  --search               answer LAN searches (only inside a private network namespace);\n"
    "                         with --qv also HDS searches of the QV devices\n"
    "  --qv N                 also run N QV devices (qvnet01 on 127.0.0.(20+k), port P+k) (0)\n"
    "  --qv-port P            first QV device's qvnet01 port (7200); 0 picks free ports\n"
    "  --reboot-delay MS      how long a reboot keeps the ports closed (1000)\n"
    "  --party ROLE:ID[:USER:PASSWORD]\n"
    "                         log into a platform's control service as an encoder, client\n"
    "                         (user client), recorder (recording server) or streamer (stream\n"
    "                         server) registered there under ID (account admin/admin)\n"
    "  --want ENC:CH[:KIND]   the last client or recorder asks for channel CH of encoder ENC\n"
    "                         (KIND main, sub or audio; main)\n"
    "  --record PATH          the last client or recorder writes the video it receives to PATH\n"
    "                         (.avi: AVI, else a native recording); a recorder needs one\n"
    "  --platform-port P      the platform's control service port (9000)\n"
    "  --platform-media-port P  its media service port (platform port + 1)\n"
    "  --platform-udp         parties reach the control service over UDP\n"
    "  --control-socket PATH  also read commands from a Unix socket at PATH\n"
    "  --stdin                read commands from standard input even in the background\n"
    "  --no-stdin             never read commands from standard input\n"
    "                         (default: read them unless started in the background of a terminal)\n"
    "  --quiet                do not print session events\n"
    "  --help                 this text\n"
    "\n"
    "Commands (standard input or the control socket; 'help' lists them) switch faults on\n"
    "and off, e.g. 'keepalive 0 off', 'close 0 stream', 'late 0 0501', 'reboot 0'.\n";

std::mutex g_print_mu;

void Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_print_mu);
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
    std::fprintf(stdout, "%s %s\n", stamp, line.c_str());
    std::fflush(stdout);
}

bool ParseSize(const char* s, int* w, int* h) {
    return std::sscanf(s, "%dx%d", w, h) == 2 && *w > 0 && *h > 0;
}

bool ParseNumber(const char* s, long lo, long hi, long* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s || *end != 0 || v < lo || v > hi) return false;
    *out = v;
    return true;
}

void Answer(int fd, const std::string& text) {
    size_t off = 0;
    while (off < text.size()) {
        ssize_t n = write(fd, text.data() + off, text.size() - off);
        if (n <= 0) return;
        off += static_cast<size_t>(n);
    }
}

// A terminal belongs to its foreground job: a background process that reads
// it is stopped by the shell's job control. Such a process reads its
// terminal only while it is in the foreground.
bool MayRead(int fd, bool always) {
    if (always || !isatty(fd)) return true;
    const pid_t foreground = tcgetpgrp(fd);
    return foreground < 0 || foreground == getpgrp();
}

// Reads command lines from fd until it ends or `stop` is set.
void ServeCommands(devsim::Emulator* emu, const std::vector<devsim::Party*>& parties, int fd,
                   int answer_fd, std::atomic<bool>& stop, bool always = true) {
    std::string pending;
    char buf[1024];
    while (!stop) {
        if (!MayRead(fd, always)) {
            poll(nullptr, 0, 200);
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, 200);
        if (r < 0 && errno != EINTR) return;
        if (r <= 0) continue;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EIO) {  // moved to the background between the test and the read
            poll(nullptr, 0, 200);
            continue;
        }
        if (n <= 0) return;
        pending.append(buf, static_cast<size_t>(n));
        if (pending.size() > 65536) pending.clear();  // no line is that long
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            bool quit = false;
            Answer(answer_fd, devsim::RunConsoleCommand(emu, parties, line, &quit));
            if (quit) kill(getpid(), SIGTERM);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int devices = 1;
    long channels = 4, control_port = 7000, device_id = 1;
    devsim::Config cfg;
    devsim::DeviceConfig dev;
    dev.accounts = {{"admin", "admin"}};
    std::string control_socket;
    bool read_stdin = true, stdin_always = false, quiet = false;
    long qv_devices = 0, qv_port = 7200;
    std::vector<devsim::PartyConfig> party_configs;
    long platform_port = 9000, platform_media_port = -1;
    bool platform_udp = false;

    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zyn-devsim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        auto number = [&](long lo, long hi) {
            const char* v = value();
            long n = 0;
            if (!ParseNumber(v, lo, hi, &n)) {
                std::fprintf(stderr, "zyn-devsim: %s wants a number from %ld to %ld, not '%s'\n",
                             a.c_str(), lo, hi, v);
                std::exit(2);
            }
            return n;
        };
        auto size = [&](int* w, int* h) {
            const char* v = value();
            if (!ParseSize(v, w, h)) {
                std::fprintf(stderr, "zyn-devsim: %s wants WxH, not '%s'\n", a.c_str(), v);
                std::exit(2);
            }
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--devices") {
            devices = static_cast<int>(number(0, 256));
        } else if (a == "--channels") {
            channels = number(1, 4);
        } else if (a == "--control-port") {
            control_port = number(0, 65535);
        } else if (a == "--bind") {
            cfg.bind_address = value();
        } else if (a == "--device-id") {
            device_id = number(0, 0x7FFFFFFF);
        } else if (a == "--user") {
            dev.accounts[0].user = value();
        } else if (a == "--password") {
            dev.accounts[0].password = value();
        } else if (a == "--udp") {
            dev.control_transport = devsim::ControlTransport::kUdp;
        } else if (a == "--udp-and-tcp") {
            dev.control_transport = devsim::ControlTransport::kBoth;
        } else if (a == "--newer") {
            dev.newer = true;
        } else if (a == "--platform") {
            dev.platform.enabled = true;
        } else if (a == "--token") {
            dev.platform.token = value();
            if (dev.platform.token.size() > 32) {
                std::fprintf(stderr, "zyn-devsim: --token takes at most 32 bytes\n");
                return 2;
            }
        } else if (a == "--login-reply-bytes") {
            dev.platform.login_reply_bytes = static_cast<size_t>(number(4, 1024));
        } else if (a == "--refuse-talk") {
            dev.platform.grant_talk = false;
        } else if (a == "--size") {
            size(&dev.main.width, &dev.main.height);
        } else if (a == "--sub-size") {
            size(&dev.sub.width, &dev.sub.height);
        } else if (a == "--fps") {
            dev.main.fps = dev.sub.fps = static_cast<int>(number(1, 120));
        } else if (a == "--bitrate") {
            dev.main.bitrate_kbps = static_cast<int>(number(16, 100000));
        } else if (a == "--sub-bitrate") {
            dev.sub.bitrate_kbps = static_cast<int>(number(16, 100000));
        } else if (a == "--gop") {
            dev.main.gop = dev.sub.gop = static_cast<int>(number(1, 1000));
        } else if (a == "--fragment-bytes") {
            dev.fragment_bytes = static_cast<size_t>(number(16, 60000));
        } else if (a == "--no-audio") {
            dev.audio = false;
        } else if (a == "--audio-format") {
            dev.audio_format = static_cast<int>(number(0, 2));
        } else if (a == "--alaw") {
            dev.audio_codec = devsim::AudioCodec::kALaw;
        } else if (a == "--search") {
            cfg.search = true;
        } else if (a == "--qv") {
            qv_devices = number(0, 200);
        } else if (a == "--qv-port") {
            qv_port = number(0, 65000);
        } else if (a == "--reboot-delay") {
            dev.reboot_delay_ms = static_cast<int>(number(0, 600000));
        } else if (a == "--party") {
            const std::string v = value();
            devsim::PartyConfig pc;
            std::vector<std::string> f;
            for (size_t at = 0;;) {
                size_t colon = v.find(':', at);
                f.push_back(v.substr(at, colon == std::string::npos ? colon : colon - at));
                if (colon == std::string::npos) break;
                at = colon + 1;
            }
            long id = 0;
            if ((f.size() != 2 && f.size() != 4) || !devsim::ParsePartyRole(f[0], &pc.role) ||
                !ParseNumber(f[1].c_str(), 0, 0x7FFFFFFF, &id)) {
                std::fprintf(stderr,
                             "zyn-devsim: --party wants ROLE:ID[:USER:PASSWORD] with ROLE "
                             "encoder, client, recorder or streamer, not '%s'\n",
                             v.c_str());
                return 2;
            }
            pc.id = static_cast<uint32_t>(id);
            if (f.size() == 4) {
                pc.user = f[2];
                pc.password = f[3];
            }
            party_configs.push_back(pc);
        } else if (a == "--want" || a == "--record") {
            const std::string v = value();
            if (party_configs.empty() || party_configs.back().role == devsim::PartyRole::kEncoder ||
                party_configs.back().role == devsim::PartyRole::kStreamServer) {
                std::fprintf(stderr, "zyn-devsim: %s follows a --party client or recorder\n",
                             a.c_str());
                return 2;
            }
            if (a == "--record") {
                party_configs.back().record_path = v;
                continue;
            }
            devsim::StreamWant w;
            char kind[16] = "main";
            long enc = 0, ch = 0;
            char tail = 0;
            int got = std::sscanf(v.c_str(), "%ld:%ld:%15[a-z]%c", &enc, &ch, kind, &tail);
            const std::string k = kind;
            if (got < 2 || got > 3 || enc < 0 || ch < 0 || ch > 3 ||
                (k != "main" && k != "sub" && k != "audio")) {
                std::fprintf(stderr, "zyn-devsim: --want wants ENC:CH[:main|sub|audio], not '%s'\n",
                             v.c_str());
                return 2;
            }
            w.encoder = static_cast<uint32_t>(enc);
            w.channel = static_cast<int>(ch);
            w.kind = k == "main" ? 0 : k == "sub" ? 1 : 2;
            party_configs.back().wants.push_back(w);
        } else if (a == "--platform-port") {
            platform_port = number(1, 65535);
        } else if (a == "--platform-media-port") {
            platform_media_port = number(1, 65535);
        } else if (a == "--platform-udp") {
            platform_udp = true;
        } else if (a == "--control-socket") {
            control_socket = value();
        } else if (a == "--stdin") {
            read_stdin = stdin_always = true;
        } else if (a == "--no-stdin") {
            read_stdin = false;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            std::fprintf(stderr, "zyn-devsim: unknown option '%s' (see --help)\n", a.c_str());
            return 2;
        }
    }
    if (devices == 0 && party_configs.empty() && qv_devices == 0) {
        std::fprintf(stderr, "zyn-devsim: nothing to run (--devices 0 without --party or --qv)\n");
        return 2;
    }
    for (const auto& pc : party_configs) {
        if (pc.role == devsim::PartyRole::kRecordServer && pc.record_path.empty()) {
            std::fprintf(stderr, "zyn-devsim: recorder %u needs --record PATH\n", pc.id);
            return 2;
        }
    }
    if (control_port != 0 && control_port + 2L * devices > 65535) {
        std::fprintf(stderr, "zyn-devsim: %d devices do not fit above port %ld\n", devices,
                     control_port);
        return 2;
    }
    dev.channel_count = static_cast<int>(channels);
    for (int k = 0; k < devices; ++k) {
        devsim::DeviceConfig d = dev;
        d.device_id = static_cast<uint32_t>(device_id + k);
        d.control_port = control_port ? static_cast<uint16_t>(control_port + 2 * k) : 0;
        d.stream_port = control_port ? static_cast<uint16_t>(control_port + 2 * k + 1) : 0;
        cfg.devices.push_back(d);
    }
    if (!quiet) cfg.event_log = Print;
    devsim::QuietCodecLogs();

    // Signals are taken by sigwait in this thread only; every thread started
    // from here on inherits the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // A read of the terminal from the background then fails instead of
    // stopping the whole process.
    signal(SIGTTIN, SIG_IGN);

    if (devices > 0)
        Print("encoding the video loops (" + std::to_string(dev.main.width) + "x" +
              std::to_string(dev.main.height) + " and " + std::to_string(dev.sub.width) + "x" +
              std::to_string(dev.sub.height) + ", " + std::to_string(channels) + " channels)...");
    devsim::Emulator emu(cfg);
    std::string error;
    if (devices > 0 && !emu.Start(&error)) {
        std::fprintf(stderr, "zyn-devsim: %s\n", error.c_str());
        return 1;
    }
    for (int k = 0; devices > 0 && k < emu.device_count(); ++k) {
        devsim::Device& d = emu.device(k);
        auto loop = d.Loop(0, 0);
        char line[512];
        std::snprintf(line, sizeof line,
                      "device %d: id %u, control %s:%u (%s), stream %u, %d channels, %dx%d at "
                      "%d fps, loop %.0f kbit/s (%s, encoded in %.2f s), user '%s'%s",
                      k, d.device_id(), cfg.bind_address.c_str(), d.control_port(),
                      dev.control_transport == devsim::ControlTransport::kTcp   ? "tcp"
                      : dev.control_transport == devsim::ControlTransport::kUdp ? "udp"
                                                                                : "tcp+udp",
                      d.stream_port(), d.config().channel_count, dev.main.width, dev.main.height,
                      dev.main.fps, loop ? loop->BitrateKbps() : 0.0,
                      loop ? loop->encoder.c_str() : "?", loop ? loop->encode_seconds : 0.0,
                      dev.accounts[0].user.c_str(),
                      dev.platform.enabled ? ", platform role"
                      : dev.newer          ? ", newer login (0x8588)"
                                           : "");
        Print(line);
    }
    if (cfg.search) Print("answering LAN searches on 224.0.1.10:6022");
    std::vector<devsim::QvDeviceConfig> qv_configs(static_cast<size_t>(qv_devices));
    for (size_t k = 0; k < qv_configs.size(); ++k) {
        qv_configs[k].ip = "127.0.0." + std::to_string(20 + k);
        qv_configs[k].media_port = qv_port ? static_cast<uint16_t>(qv_port + k) : 0;
    }
    devsim::QvEmulator qv(qv_configs, cfg.search && qv_devices > 0);
    if (qv_devices > 0) {
        if (!qv.Start(&error)) {
            std::fprintf(stderr, "zyn-devsim: %s\n", error.c_str());
            emu.Stop();
            return 1;
        }
        for (int k = 0; k < qv.device_count(); ++k)
            Print("QV device " + std::to_string(k) + ": " + qv.device(k).device_id + " qvnet01 " +
                  qv.device(k).ip + ":" + std::to_string(qv.port(k)));
        if (cfg.search) Print("answering HDS searches on 239.255.255.250:8002");
    }

    // Parties: encoders first, so that the clients' requests find them logged in.
    std::stable_sort(party_configs.begin(), party_configs.end(), [](const auto& x, const auto& y) {
        return x.role == devsim::PartyRole::kEncoder && y.role != devsim::PartyRole::kEncoder;
    });
    std::vector<std::unique_ptr<devsim::Party>> parties;
    std::vector<devsim::Party*> party_list;
    for (devsim::PartyConfig pc : party_configs) {
        pc.service_address = cfg.bind_address;
        pc.control_port = static_cast<uint16_t>(platform_port);
        pc.media_port = static_cast<uint16_t>(platform_media_port > 0 ? platform_media_port
                                                                      : platform_port + 1);
        pc.control_udp = platform_udp;
        pc.channel_count = static_cast<int>(channels);
        pc.video = dev.sub;  // encoders push the small picture
        pc.fragment_bytes = dev.fragment_bytes;
        pc.audio_format = dev.audio_format;
        pc.a_law = dev.audio_codec == devsim::AudioCodec::kALaw;
        if (!quiet) pc.event_log = Print;
        parties.push_back(std::make_unique<devsim::Party>(pc));
        if (!parties.back()->Start(&error)) {
            std::fprintf(stderr, "zyn-devsim: %s %u: %s\n", devsim::PartyRoleName(pc.role), pc.id,
                         error.c_str());
            parties.clear();
            qv.Stop();
            emu.Stop();
            return 1;
        }
        if (pc.role == devsim::PartyRole::kEncoder) parties.back()->WaitLoggedIn(2000);
        party_list.push_back(parties.back().get());
        Print(std::string("party ") + std::to_string(party_list.size() - 1) + ": " +
              devsim::PartyRoleName(pc.role) + " " + std::to_string(pc.id) + " -> " +
              pc.service_address + ":" + std::to_string(pc.control_port) +
              (platform_udp ? " (udp)" : "") +
              (pc.record_path.empty() ? "" : ", recording to " + pc.record_path));
    }
    devsim::Emulator* emu_ptr = devices > 0 ? &emu : nullptr;

    std::atomic<bool> stop{false};
    std::thread stdin_thread, socket_thread;
    int listen_fd = -1;
    if (read_stdin) {
        stdin_thread = std::thread([&] {
            ServeCommands(emu_ptr, party_list, STDIN_FILENO, STDOUT_FILENO, stop, stdin_always);
        });
    }
    if (!control_socket.empty()) {
        listen_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (control_socket.size() >= sizeof addr.sun_path) {
            std::fprintf(stderr, "zyn-devsim: control socket path too long\n");
            stop = true;
            if (stdin_thread.joinable()) stdin_thread.join();
            return 1;
        }
        std::strcpy(addr.sun_path, control_socket.c_str());
        unlink(control_socket.c_str());
        if (bind(listen_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(listen_fd, 4) != 0) {
            std::fprintf(stderr, "zyn-devsim: cannot listen on %s: %s\n", control_socket.c_str(),
                         std::strerror(errno));
            stop = true;
            if (stdin_thread.joinable()) stdin_thread.join();
            return 1;
        }
        Print("commands accepted on " + control_socket);
        socket_thread = std::thread([&] {
            while (!stop) {
                pollfd p{listen_fd, POLLIN, 0};
                if (poll(&p, 1, 200) <= 0) continue;
                int fd = accept(listen_fd, nullptr, nullptr);
                if (fd < 0) continue;
                ServeCommands(emu_ptr, party_list, fd, fd, stop);
                close(fd);
            }
        });
    }
    Print("ready (SIGINT or SIGTERM ends it; 'help' lists the commands)");

    int sig = 0;
    sigwait(&stop_signals, &sig);
    Print(std::string("stopping on ") + (sig == SIGINT ? "SIGINT" : "SIGTERM"));
    stop = true;
    if (stdin_thread.joinable()) stdin_thread.join();
    if (socket_thread.joinable()) socket_thread.join();
    if (listen_fd >= 0) {
        close(listen_fd);
        unlink(control_socket.c_str());
    }
    for (size_t i = 0; i < parties.size(); ++i)
        Print("party " + std::to_string(i) + ": " + parties[i]->Status());
    parties.clear();
    qv.Stop();
    emu.Stop();
    Print("stopped");
    return 0;
}
