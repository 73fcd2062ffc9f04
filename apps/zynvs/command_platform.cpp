// zynvs platform: the SDK as a platform. Registers the parties of a parties
// file, starts the control and media services (and the playback service in a
// window when asked) and prints logins, logouts, relays and subscriber counts
// as they happen, until Ctrl-C or SIGTERM.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/console.h"
#include "apps/zynvs/live_window.h"
#include "apps/zynvs/options.h"
#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace zynvs_app {
namespace {
namespace wire = zyn::wire;

struct PartyLine {
    std::string role;
    int kind = 0;
    int id = 0;
    std::string user, password, name;
};

// role -> login kind of its registration record.
bool KindOfRole(const std::string& role, int* kind) {
    static const std::map<std::string, int> kKinds = {{"encoder", wire::kPartyEncoder},
                                                      {"client", wire::kPartyUserClient},
                                                      {"streamer", wire::kPartyStreamServer},
                                                      {"recorder", wire::kPartyRecordServer}};
    auto it = kKinds.find(role);
    if (it == kKinds.end()) return false;
    *kind = it->second;
    return true;
}

// One party a line: ROLE ID USER PASSWORD [NAME...]; '#' starts a comment.
bool ReadParties(const std::string& path, std::vector<PartyLine>* out, std::string* why) {
    std::ifstream in(path);
    if (!in) {
        *why = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        PartyLine p;
        std::string id;
        if (!(words >> p.role)) continue;  // blank
        const std::string where = path + ":" + std::to_string(number) + ": ";
        long value = 0;
        if (!KindOfRole(p.role, &p.kind)) {
            *why = where + "role '" + p.role + "' is not encoder, client, recorder or streamer";
            return false;
        }
        if (!(words >> id) || !ParseNumber(id, 1, 0x7FFFFFFF, &value)) {
            *why = where + "an id from 1 to 2147483647 is needed";
            return false;
        }
        p.id = static_cast<int>(value);
        if (!(words >> p.user >> p.password)) {
            *why = where + "user name and password are needed";
            return false;
        }
        if (p.user.size() > 8 || p.password.size() > 8) {
            *why = where + "user name and password have at most 8 characters";
            return false;
        }
        std::getline(words >> std::ws, p.name);
        for (const PartyLine& q : *out) {
            if (q.id == p.id) {
                *why = where + "id " + id + " is listed twice";
                return false;
            }
        }
        out->push_back(p);
    }
    if (out->empty()) {
        *why = path + " lists no parties";
        return false;
    }
    return true;
}

std::mutex g_print_mutex;
std::map<int, std::string>
    g_names;  // id -> "encoder 100 (name)"; written before the services start

std::string Who(int id) {
    auto it = g_names.find(id);
    return it != g_names.end() ? it->second : "party " + std::to_string(id);
}

void Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_print_mutex);
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
    std::printf("%s %s\n", stamp, line.c_str());
    std::fflush(stdout);
}

void ZYNVS_CALL OnMessage(int id, int message, void* data, int length, void*) {
    std::string text;
    if (data && length > 0)
        text.assign(static_cast<const char*>(data),
                    strnlen(static_cast<const char*>(data), static_cast<size_t>(length)));
    switch (message) {
        case wire::kMsgLoggedIn:
            Print("login: " + Who(id));
            break;
        case wire::kMsgPartyOffline:
            Print("logout: " + Who(id));
            break;
        case wire::kMsgRelayed: {
            char code[16] = {};
            int from = 0;
            if (std::sscanf(text.c_str(), "%15s %d", code, &from) == 2)
                Print(std::string("relay: ") + code + " from " + Who(from) + " to " + Who(id));
            break;
        }
        case wire::kMsgSubscribers: {
            int channel = 0, count = 0;
            if (std::sscanf(text.c_str(), "%d %d", &channel, &count) == 2)
                Print("subscribers: " + Who(id) + " channel " + std::to_string(channel) + ": " +
                      std::to_string(count));
            break;
        }
        default:
            break;
    }
}

}  // namespace

int CommandPlatform(const std::vector<std::string>& args) {
    std::string parties_path;
    int port = 9000, media_port = 0, playback_port = 9002, seconds = 0;
    bool udp = false, window = false;
    OptionParser p("platform", "PARTIES [options]",
                   "Runs the SDK as a platform: registers the parties of the PARTIES file,\n"
                   "starts the control and media services on loopback and prints logins,\n"
                   "logouts, relays and subscriber counts until Ctrl-C or SIGTERM.");
    p.Positional("PARTIES", &parties_path,
                 "parties file: one 'ROLE ID USER PASSWORD [NAME]' a line");
    p.Int("--port", &port, 1, 65535, "control service port");
    p.Int("--media-port", &media_port, 0, 65535, "media service port (0: the control port + 1)");
    p.Flag("--udp", &udp, "control service over UDP instead of TCP");
    p.Flag("--window", &window, "also run the playback service, showing pushed video in a window");
    p.Int("--playback-port", &playback_port, 1, 65535, "playback service port (with --window)");
    p.Int("--seconds", &seconds, 0, 864000, "stop after this long (0: run until stopped)");
    p.Note(
        "ROLE is encoder, client (user client), recorder (recording server) or streamer\n"
        "(stream server); example: examples/platform.parties.");
    if (int rc = p.Parse(args); rc >= 0) return rc;
    if (media_port == 0) {
        if (port == 65535) return p.UsageError("--port 65535 leaves no port for the media service");
        media_port = port + 1;
    }
    if (media_port == port) return p.UsageError("the control and media ports must differ");

    std::vector<PartyLine> parties;
    std::string why;
    if (!ReadParties(parties_path, &parties, &why)) {
        std::fprintf(stderr, "zynvs platform: %s\n", why.c_str());
        return kExitUsage;
    }
    for (const PartyLine& party : parties) {
        DeviceLoginInfo r{};
        r.device_id = party.id;
        r.device_kind = party.kind;
        r.channel_count = party.kind <= wire::kPartyEncoderAlt ? 4 : 0;
        std::strncpy(r.control_address, "127.0.0.1", sizeof r.control_address - 1);
        std::memcpy(r.user_name, party.user.data(), party.user.size());
        std::memcpy(r.password, party.password.data(), party.password.size());
        if (ZYNVS_AddDevice(&r) != 1) {
            std::fprintf(stderr, "zynvs platform: %s %d cannot be registered\n", party.role.c_str(),
                         party.id);
            ZYNVS_UnInit();
            return kExitFailed;
        }
        if (!party.name.empty()) ZYNVS_SetDeviceName(party.id, party.name.c_str());
        g_names[party.id] = party.role + " " + std::to_string(party.id) +
                            (party.name.empty() ? "" : " (" + party.name + ")");
    }
    ZYNVS_RegisterMessageCallBack(OnMessage, nullptr);

    LiveWindow playback_window;
    bool ok = ZYNVS_StartCtrlService(static_cast<unsigned short>(port), 0, udp ? 1 : 0) != 0;
    if (!ok) why = "the control service cannot listen on port " + std::to_string(port);
    if (ok && !(ok = ZYNVS_StartMediaService(static_cast<unsigned short>(media_port), 0, 0) != 0))
        why = "the media service cannot listen on port " + std::to_string(media_port);
    if (ok && window) {
        if (!(ok = playback_window.Open("zynvs platform: playback", 1, &why))) {
            why = "no window: " + why;
        } else if (!(ok = ZYNVS_StartPlayBackService(static_cast<unsigned short>(playback_port),
                                                     playback_window.channel_window(0)) != 0)) {
            why = "the playback service cannot start";
        }
    }
    if (ok) {
        Print("platform: control service on 127.0.0.1:" + std::to_string(port) +
              (udp ? " (udp)" : " (tcp)") +
              ", media service on 127.0.0.1:" + std::to_string(media_port) +
              (window ? ", playback service on 127.0.0.1:" + std::to_string(playback_port) : "") +
              ", " + std::to_string(parties.size()) + " parties registered");
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!StopRequested() && (seconds == 0 || std::chrono::steady_clock::now() < end)) {
            if (window) {
                bool quit = false;
                for (LiveWindow::Key k : playback_window.Poll())
                    quit |= k == LiveWindow::Key::kQuit;
                if (quit) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Print(StopSignal() ? "stopping on a signal" : "stopping");
    } else {
        std::fprintf(stderr, "zynvs platform: %s\n", why.c_str());
    }
    if (window) ZYNVS_StopPlayBackService();
    ZYNVS_StopMediaService();
    ZYNVS_StopCtrlService();
    ZYNVS_RegisterMessageCallBack(nullptr, nullptr);
    ZYNVS_UnInit();
    if (ok) Print("stopped");
    return ok ? kExitOk : kExitFailed;
}

}  // namespace zynvs_app
