#include "tools/devsim/console.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

namespace devsim {
namespace {

bool ParseInt(const std::string& s, long* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end != 0) return false;
    *out = v;
    return true;
}

// Command codes are hexadecimal, with or without 0x.
bool ParseCode(const std::string& s, uint16_t* out) {
    std::string t = s;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 4) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(t.c_str(), &end, 16);
    if (*end != 0) return false;
    *out = static_cast<uint16_t>(v);
    return true;
}

bool ParseHexBytes(const std::string& s, std::vector<uint8_t>* out) {
    std::string t;
    for (char c : s)
        if (c != ':' && c != '-') t += c;
    if (t.size() % 2) return false;
    for (size_t i = 0; i < t.size(); i += 2) {
        char* end = nullptr;
        std::string pair = t.substr(i, 2);
        unsigned long v = std::strtoul(pair.c_str(), &end, 16);
        if (*end != 0) return false;
        out->push_back(static_cast<uint8_t>(v));
    }
    return true;
}

bool ParseOnOff(const std::string& s, bool* out) {
    if (s == "on" || s == "1" || s == "yes") {
        *out = true;
        return true;
    }
    if (s == "off" || s == "0" || s == "no") {
        *out = false;
        return true;
    }
    return false;
}

std::string Hex(const std::vector<uint8_t>& b, size_t max) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < b.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", b[i]);
        out += buf;
    }
    if (b.size() > max) out += "...";
    return out;
}

}  // namespace

std::string ConsoleHelp() {
    return "commands (D = device index, CH = channel, CMD = hexadecimal request code):\n"
           "  help | status | quit\n"
           "  messages [N]                  the last N (10) messages the devices received\n"
           "  keepalive D on|off            answer keep-alives (0x0103) or not\n"
           "  refuse-login D on|off         refuse every login with result 6\n"
           "  delay D MS [CMD]              send replies (to CMD) MS ms late; 'delay D 0' ends it\n"
           "  late D [CMD]                  replies 3500 ms late (past the client's 3 s)\n"
           "  drop D [CMD] [COUNT]          do not send replies (COUNT times; 0 = until cleared)\n"
           "  result D CODE [CMD] [COUNT]   refuse requests with result CODE\n"
           "  garbage-reply D [CMD] [BYTES] random bytes instead of replies\n"
           "  truncate-reply D [CMD]        replies cut short\n"
           "  clear D                       end every fault of the device\n"
           "  close D control|stream        close the device's control or stream connections\n"
           "  stall D CH on|off             stop or resume the video of one channel\n"
           "  ch4 D on|off                  send channel 0's sub stream as channel 4\n"
           "  garbage D control|stream [BYTES]  send random bytes on the connections\n"
           "  truncated D control|stream    send a message cut short\n"
           "  alarm D CH [TYPE] [on|off]    send an alarm report (0x0601)\n"
           "  send D CMD [HEX]              send any message to the logged-in clients\n"
           "  keyframe D CH                 next video frame of the channel is a key frame\n"
           "  reboot D                      drop every connection, come back after the delay\n"
           "  end-session D                 platform role: end every session with 0x0557\n"
           "platform parties (P = party index, in the order of the --party options):\n"
           "  party                         one status line per party\n"
           "  party P silent on|off         no keep-alives, no answers, nothing pushed\n"
           "  party P drop                  close the party's control and media connections\n"
           "  party P garbage control|media [BYTES]  send random bytes\n"
           "  party P want ENC CH [main|sub|audio] [close]  ask for (or close) a stream\n"
           "  party P list [FILTER]         ask for the device list (0x0701)\n";
}

namespace {

std::string RunPartyCommand(const std::vector<Party*>& parties, const std::vector<std::string>& a) {
    auto usage = [] { return std::string("error: bad arguments for 'party' (see help)\n"); };
    if (a.size() == 1) {
        if (parties.empty()) return "no parties\n";
        std::string out;
        for (size_t i = 0; i < parties.size(); ++i)
            out += "party " + std::to_string(i) + ": " + parties[i]->Status() + "\n";
        return out;
    }
    long p = -1, n = 0;
    if (!ParseInt(a[1], &p) || p < 0 || p >= static_cast<long>(parties.size()))
        return "error: no party " + a[1] + " (there are " + std::to_string(parties.size()) + ")\n";
    Party& party = *parties[static_cast<size_t>(p)];
    const std::string verb = a.size() > 2 ? a[2] : "";
    bool on = false;
    if (verb == "silent" && a.size() == 4 && ParseOnOff(a[3], &on)) {
        party.SetSilent(on);
        return on ? "party silent\n" : "party speaks again\n";
    }
    if (verb == "drop" && a.size() == 3) {
        party.DropConnections();
        return "connections dropped\n";
    }
    if (verb == "garbage" && a.size() >= 4 && (a[3] == "control" || a[3] == "media")) {
        n = 64;
        if (a.size() > 4 && (!ParseInt(a[4], &n) || n <= 0 || n > 65536)) return usage();
        party.SendGarbage(a[3] == "media", static_cast<size_t>(n));
        return "garbage sent\n";
    }
    if (verb == "want" && a.size() >= 5) {
        StreamWant w;
        long enc = 0, ch = 0;
        if (!ParseInt(a[3], &enc) || !ParseInt(a[4], &ch) || enc < 0 || ch < 0 || ch > 3)
            return usage();
        w.encoder = static_cast<uint32_t>(enc);
        w.channel = static_cast<int>(ch);
        bool open = true;
        for (size_t i = 5; i < a.size(); ++i) {
            if (a[i] == "main")
                w.kind = 0;
            else if (a[i] == "sub")
                w.kind = 1;
            else if (a[i] == "audio")
                w.kind = 2;
            else if (a[i] == "close")
                open = false;
            else
                return usage();
        }
        party.RequestStream(w, open);
        return open ? "stream requested\n" : "stream closed\n";
    }
    if (verb == "list" && a.size() <= 4) {
        n = 0;
        if (a.size() == 4 && (!ParseInt(a[3], &n) || n < 0 || n > 255)) return usage();
        party.RequestDeviceList(static_cast<uint8_t>(n));
        return "device list requested\n";
    }
    return usage();
}

}  // namespace

std::string RunConsoleCommand(Emulator& emu, const std::string& line, bool* quit) {
    return RunConsoleCommand(&emu, {}, line, quit);
}

std::string RunConsoleCommand(Emulator* emulator, const std::vector<Party*>& parties,
                              const std::string& line, bool* quit) {
    std::istringstream in(line);
    std::vector<std::string> a;
    for (std::string w; in >> w;) a.push_back(w);
    if (a.empty()) return "";
    const std::string& cmd = a[0];
    auto usage = [&]() { return "error: bad arguments for '" + cmd + "' (see help)\n"; };

    if (cmd == "help") return ConsoleHelp();
    if (cmd == "quit" || cmd == "exit") {
        if (quit) *quit = true;
        return "bye\n";
    }
    if (cmd == "party") return RunPartyCommand(parties, a);
    if (cmd == "status") {
        std::string out = emulator ? emulator->Status() : "";
        for (size_t i = 0; i < parties.size(); ++i)
            out += "party " + std::to_string(i) + ": " + parties[i]->Status() + "\n";
        return out;
    }
    if (!emulator) return "error: '" + cmd + "' needs devices, and none run\n";
    Emulator& emu = *emulator;
    if (cmd == "messages") {
        long n = 10;
        if (a.size() > 1 && !ParseInt(a[1], &n)) return usage();
        auto all = emu.log().Snapshot();
        std::ostringstream out;
        size_t start = all.size() > static_cast<size_t>(std::max(0L, n))
                           ? all.size() - static_cast<size_t>(std::max(0L, n))
                           : 0;
        for (size_t i = start; i < all.size(); ++i) {
            const ReceivedMessage& m = all[i];
            char head[96];
            std::snprintf(head, sizeof head, "#%llu device %d %s/%u ",
                          static_cast<unsigned long long>(m.sequence), m.device, LinkName(m.link),
                          m.connection);
            out << head;
            if (m.malformed) {
                out << "malformed " << m.raw.size() << " bytes " << Hex(m.raw, 32) << "\n";
            } else {
                char c[48];
                std::snprintf(c, sizeof c, "cmd 0x%04X word %u len %zu ", m.command, m.second_word,
                              m.payload.size());
                out << c << Hex(m.payload, 32) << "\n";
            }
        }
        return out.str();
    }

    static const char* kDeviceCommands[] = {
        "keepalive",     "refuse-login",   "delay", "late",  "drop",     "result",
        "garbage-reply", "truncate-reply", "clear", "close", "stall",    "ch4",
        "garbage",       "truncated",      "alarm", "send",  "keyframe", "reboot",
        "end-session"};
    if (std::find(std::begin(kDeviceCommands), std::end(kDeviceCommands), cmd) ==
        std::end(kDeviceCommands))
        return "error: unknown command '" + cmd + "' (see help)\n";

    // Everything else names a device.
    long dev = -1;
    if (a.size() < 2 || !ParseInt(a[1], &dev)) return usage();
    if (dev < 0 || dev >= emu.device_count())
        return "error: no device " + a[1] + " (there are " + std::to_string(emu.device_count()) +
               ")\n";
    Device& d = emu.device(static_cast<int>(dev));
    auto opt_code = [&](size_t i, uint16_t* code) {
        *code = 0;
        return a.size() <= i || ParseCode(a[i], code);
    };
    auto opt_int = [&](size_t i, long* v, long def) {
        *v = def;
        return a.size() <= i || ParseInt(a[i], v);
    };
    bool on = false;
    uint16_t code = 0;
    long n = 0, m = 0;

    if (cmd == "keepalive" && a.size() == 3 && ParseOnOff(a[2], &on)) {
        d.SetAnswerKeepAlive(on);
        return on ? "keep-alives answered\n" : "keep-alives not answered\n";
    }
    if (cmd == "refuse-login" && a.size() == 3 && ParseOnOff(a[2], &on)) {
        d.SetRefuseLogins(on);
        return on ? "logins refused\n" : "logins accepted\n";
    }
    if (cmd == "delay" && a.size() >= 3 && ParseInt(a[2], &n) && n >= 0 && opt_code(3, &code)) {
        if (code == 0) {
            d.SetReplyDelay(static_cast<int>(n));
        } else {
            d.AddReplyFault({code, FaultAction::kDelay, static_cast<int>(n), 0});
        }
        return "replies delayed by " + std::to_string(n) + " ms\n";
    }
    if (cmd == "late" && opt_code(2, &code)) {
        d.AddReplyFault({code, FaultAction::kDelay, 3500, 0});
        return "replies 3500 ms late\n";
    }
    if (cmd == "drop" && opt_code(2, &code) && opt_int(3, &n, 0)) {
        d.AddReplyFault({code, FaultAction::kDrop, 0, static_cast<int>(n)});
        return "replies dropped\n";
    }
    if (cmd == "result" && a.size() >= 3 && ParseInt(a[2], &m) && opt_code(3, &code) &&
        opt_int(4, &n, 0)) {
        d.AddReplyFault({code, FaultAction::kResult, static_cast<int>(m), static_cast<int>(n)});
        return "requests refused with result " + std::to_string(m) + "\n";
    }
    if (cmd == "garbage-reply" && opt_code(2, &code) && opt_int(3, &n, 64)) {
        d.AddReplyFault({code, FaultAction::kGarbage, static_cast<int>(n), 0});
        return "garbage instead of replies\n";
    }
    if (cmd == "truncate-reply" && opt_code(2, &code)) {
        d.AddReplyFault({code, FaultAction::kTruncate, 0, 0});
        return "replies truncated\n";
    }
    if (cmd == "clear" && a.size() == 2) {
        d.ClearReplyFaults();
        d.SetSubStreamAsChannelFour(false);
        return "faults cleared\n";
    }
    if (cmd == "close" && a.size() == 3 && (a[2] == "control" || a[2] == "stream")) {
        if (a[2] == "control")
            d.CloseControlConnections();
        else
            d.CloseStreamConnections();
        return a[2] + " connections closed\n";
    }
    if (cmd == "end-session" && a.size() == 2) {
        d.EndPlatformSessions();
        return "sessions ended\n";
    }
    if (cmd == "stall" && a.size() == 4 && ParseInt(a[2], &n) && ParseOnOff(a[3], &on)) {
        d.StallChannel(static_cast<int>(n), on);
        return on ? "channel stalled\n" : "channel resumed\n";
    }
    if (cmd == "ch4" && a.size() == 3 && ParseOnOff(a[2], &on)) {
        d.SetSubStreamAsChannelFour(on);
        return on ? "sub stream of channel 0 sent as channel 4\n" : "channel 4 encoding off\n";
    }
    if (cmd == "garbage" && a.size() >= 3 && (a[2] == "control" || a[2] == "stream") &&
        opt_int(3, &n, 64) && n > 0 && n <= 65536) {
        d.SendGarbage(a[2] == "stream", static_cast<size_t>(n));
        return "garbage sent\n";
    }
    if (cmd == "truncated" && a.size() == 3 && (a[2] == "control" || a[2] == "stream")) {
        d.SendTruncated(a[2] == "stream");
        return "truncated message sent\n";
    }
    if (cmd == "alarm" && a.size() >= 3 && ParseInt(a[2], &n) && opt_int(3, &m, 1)) {
        on = true;
        if (a.size() > 4 && !ParseOnOff(a[4], &on)) return usage();
        d.SendAlarmReport(static_cast<int>(n), static_cast<int>(m), on);
        return "alarm report sent\n";
    }
    if (cmd == "send" && a.size() >= 3 && ParseCode(a[2], &code)) {
        std::vector<uint8_t> payload;
        if (a.size() > 3 && !ParseHexBytes(a[3], &payload)) return usage();
        d.SendUnsolicited(code, payload);
        return "sent\n";
    }
    if (cmd == "keyframe" && a.size() == 3 && ParseInt(a[2], &n)) {
        d.ForceKeyFrame(static_cast<int>(n));
        return "key frame forced\n";
    }
    if (cmd == "reboot" && a.size() == 2) {
        d.Reboot();
        return "rebooting\n";
    }
    return usage();
}

}  // namespace devsim
