// zynvs play FILE: plays a recording (native or AVI) through the player's C interface,
// in an X11 window or headless, with keys (window) and stdin commands for
// pause, stepping, speed and seeking, printing position and time.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/console.h"
#include "apps/zynvs/options.h"
#include "apps/zynvs/osd_text.h"
#include "apps/zynvs/recording_file.h"
#include "renderkit/image_file.h"
#include "zynvs/ZynPlayCtrl.h"

// Xlib last: it defines None, Bool, Status, True and False.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace zynvs_app {
namespace {

constexpr unsigned int kFileEndMessage = 0x0400 + 1;

struct PlayOptions {
    std::string path;
    bool window = true;
    bool benchmark = false;
    int seek_percent = 0;
    int speed = 0;
    int seconds = 0;  // 0: until the end
    std::string screenshot;
    bool quiet = false;
    uint32_t start_time = 0;  // of the recording, seconds since 1970; 0 unknown
};

std::atomic<int> g_pictures{0};
// What the on-screen status shows; written by the main loop, read on the
// player's decode thread (which must not call back into the player).
std::atomic<int> g_osd_seconds{-1};
std::atomic<int> g_osd_percent{0};
std::atomic<bool> g_osd_paused{false};

// Counts the pictures and draws time and position over each.
void ZYNVS_CALL OnPicture(ZYNVS_HDC surface, ZYNVS_SIZE*, int, void*) {
    ++g_pictures;
    if (surface == nullptr) return;
    const int seconds = g_osd_seconds.load();
    char text[48];
    if (seconds >= 0)
        std::snprintf(text, sizeof text, "%02d:%02d %d%%%s", seconds / 60, seconds % 60,
                      g_osd_percent.load(), g_osd_paused ? " PAUSED" : "");
    else
        std::snprintf(text, sizeof text, "%d%%%s", g_osd_percent.load(),
                      g_osd_paused ? " PAUSED" : "");
    const int scale = surface->height >= 240 ? surface->height / 240 : 1;
    DrawStatusText(surface, 4 * scale, surface->height - 4 * scale, scale, text);
}

const char kKeys[] =
    "keys (window): space pause/resume, p resume, n or Right step, b or Left step back,\n"
    "               + faster, - slower, 0..9 seek to 0..90 %, q or Escape quit\n"
    "commands (stdin): pause, resume (or play), toggle, step, back, fast, slow,\n"
    "                  speed -5..5, seek 1..99 (percent), time SECONDS (from the start\n"
    "                  of the recording), snap FILE.bmp|.png|.jpg, pos, quit\n"
    "Seeking keeps the paused or playing state. Ctrl-C stops playback.";

class Player {
public:
    explicit Player(const PlayOptions& o) : opt_(o) {}
    ~Player() {
        if (port_ > 0) ZYNVS_PlAY_Destory(port_);
        if (display_) {
            if (window_) XDestroyWindow(display_, window_);
            XCloseDisplay(display_);
        }
    }

    int Run() {
        if (opt_.benchmark) setenv("ZYNVS_PLAY_NO_PACING", "1", 1);
        if (opt_.window && !OpenWindow()) return 1;
        port_ = ZYNVS_PlAY_OpenFile(window_, opt_.path.c_str());
        if (port_ < 0) {
            std::fprintf(stderr, "zynvs play: cannot open '%s'\n", opt_.path.c_str());
            return 1;
        }
        if (window_) ZYNVS_PlAY_SetFileEndMsg(port_, window_, kFileEndMessage);
        ZYNVS_PlAY_RegisterDrawOSDFuncPtr(port_, OnPicture, nullptr);
        if (opt_.seek_percent > 0) ZYNVS_PlAY_SetPlayPos(port_, opt_.seek_percent);
        struct stat st {};
        stat(opt_.path.c_str(), &st);
        const auto started = std::chrono::steady_clock::now();
        if (ZYNVS_PlAY_Play(port_, 0) != 1) {
            std::fprintf(stderr, "zynvs play: playback did not start\n");
            return 1;
        }
        if (opt_.speed != 0) ZYNVS_PlAY_SetSpeed(port_, opt_.speed);
        Print("playing");
        const int rc = Loop(started);
        const double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (opt_.benchmark) {
            std::printf("benchmark: %lld bytes in %.3f s (%.1f MB/s), %d pictures decoded\n",
                        static_cast<long long>(st.st_size), secs,
                        secs > 0 ? st.st_size / secs / 1e6 : 0.0, g_pictures.load());
        }
        return rc;
    }

private:
    bool OpenWindow() {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) {
            std::fprintf(stderr, "zynvs play: no X display (use --no-window to play headless)\n");
            return false;
        }
        window_ =
            XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 960, 540, 0, 0, 0);
        std::string title = "zynvs play " + opt_.path;
        XStoreName(display_, window_, title.c_str());
        XSelectInput(display_, window_, KeyPressMask | StructureNotifyMask);
        delete_atom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        notice_atom_ = XInternAtom(display_, "ZYNVS_WINDOW_MESSAGE", False);
        XSetWMProtocols(display_, window_, &delete_atom_, 1);
        XMapRaised(display_, window_);
        XEvent ev;
        do XNextEvent(display_, &ev);
        while (ev.type != MapNotify);
        XSync(display_, False);
        std::printf("window 0x%lx\n", static_cast<unsigned long>(window_));
        std::fflush(stdout);
        return true;
    }

    // Seconds from the start of the recording, or -1 when unknown.
    double Seconds() const {
        const uint64_t t = ZYNVS_PlAY_GetPlayTime(port_);
        if (t == 0 || opt_.start_time == 0 || t < opt_.start_time) return -1;
        return static_cast<double>(t - opt_.start_time);
    }

    // One status line; the periodic one only when something changed.
    void Print(const char* what, bool periodic = false) {
        if (opt_.quiet) return;
        char time[32] = "-";
        if (Seconds() >= 0) std::snprintf(time, sizeof time, "%.0f s", Seconds());
        char status[160];
        std::snprintf(status, sizeof status, "pos %3d %%  time %s  speed %d  %s  pictures %d",
                      ZYNVS_PlAY_GetPlayPos(port_), time, ZYNVS_PlAY_GetSpeed(port_),
                      paused_ ? "paused" : "playing", g_pictures.load());
        if (periodic && last_status_ == status) return;
        last_status_ = status;
        std::printf("%-8s %s\n", what, status);
        std::fflush(stdout);
    }

    // The player ends a hold when it seeks (and a jump by time may hold it):
    // paused, it shows the first picture at the new place and holds again;
    // playing, it goes on at the speed it had.
    void KeepState() {
        if (paused_) {
            ZYNVS_PlAY_OneByOne(port_);
            return;
        }
        Hold(false);
    }

    // Resuming is explicit (the player's resume ends any hold); pausing uses
    // the player's toggle, so only from the playing state.
    void Hold(bool paused) {
        if (!paused) {
            const int speed = ZYNVS_PlAY_GetSpeed(port_);
            ZYNVS_PlAY_Play(port_, 0);
            ZYNVS_PlAY_SetSpeed(port_, speed);
        } else if (!paused_) {
            ZYNVS_PlAY_Pause(port_, 0);
        }
        paused_ = paused;
    }

    void Snap(const std::string& path) {
        if (!ImagePathSupported(path)) {
            std::printf("snapshot %s: NOT written: the name must end in .bmp, .png or .jpg\n",
                        path.c_str());
            return;
        }
        struct stat before {};
        const bool existed = stat(path.c_str(), &before) == 0;
        ZYNVS_PLAY_CapPic(port_, path.c_str(), 0);  // answers 1 whatever happened
        struct stat after {};
        const bool written = stat(path.c_str(), &after) == 0 && after.st_size > 0 &&
                             (!existed || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
                              after.st_mtim.tv_nsec != before.st_mtim.tv_nsec);
        if (written) {
            std::printf("snapshot %s\n", path.c_str());
            return;
        }
        std::string why = WriteProblem(path);
        if (why.empty())
            why = g_pictures.load() == 0 ? "no picture shown yet" : "the player wrote nothing";
        std::printf("snapshot %s: NOT written: %s\n", path.c_str(), why.c_str());
    }

    void Screenshot() {
        if (!display_ || opt_.screenshot.empty() || screenshot_done_) return;
        screenshot_done_ = true;
        XWindowAttributes wa{};
        XGetWindowAttributes(display_, window_, &wa);
        XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(wa.width),
                                  static_cast<unsigned>(wa.height), AllPlanes, ZPixmap);
        if (image == nullptr) {
            std::fprintf(stderr, "zynvs play: screenshot failed\n");
            return;
        }
        std::vector<uint8_t> bgr(static_cast<std::size_t>(wa.width) * wa.height * 3);
        for (int y = 0; y < wa.height; ++y) {
            for (int x = 0; x < wa.width; ++x) {
                const unsigned long px = XGetPixel(image, x, y);
                uint8_t* d = &bgr[(static_cast<std::size_t>(y) * wa.width + x) * 3];
                d[0] = px & 0xFF;
                d[1] = (px >> 8) & 0xFF;
                d[2] = (px >> 16) & 0xFF;
            }
        }
        XDestroyImage(image);
        const bool ok =
            renderkit::WriteBmp24(opt_.screenshot, bgr.data(), wa.width, wa.height, wa.width * 3);
        std::printf("screenshot %s%s\n", opt_.screenshot.c_str(), ok ? "" : " (NOT written)");
        std::fflush(stdout);
    }

    // Returns false to quit.
    bool Command(const std::string& line) {
        char word[32] = {};
        char arg[512] = {};
        if (std::sscanf(line.c_str(), "%31s %511[^\n]", word, arg) < 1) return true;
        const std::string w = word;
        long n = 0;
        if (w == "quit" || w == "q") return false;
        if (w == "play" || w == "resume") {
            Hold(false);
        } else if (w == "pause") {
            Hold(true);
        } else if (w == "toggle") {
            Hold(!paused_);
        } else if (w == "step") {
            ZYNVS_PlAY_OneByOne(port_);
            paused_ = true;
        } else if (w == "back") {
            ZYNVS_PlAY_OneByOneBack(port_);
            paused_ = true;
        } else if (w == "fast" || w == "slow") {
            (w == "fast" ? ZYNVS_PlAY_Fast : ZYNVS_PlAY_Slow)(port_);
            paused_ = false;  // a speed change ends a hold
        } else if (w == "speed") {
            if (!ParseNumber(arg, -5, 5, &n)) return Refuse(w, "wants a level from -5 to 5");
            ZYNVS_PlAY_SetSpeed(port_, static_cast<int>(n));
        } else if (w == "seek") {
            if (!ParseNumber(arg, 1, 99, &n)) return Refuse(w, "wants a percentage from 1 to 99");
            ZYNVS_PlAY_SetPlayPos(port_, static_cast<int>(n));
            KeepState();
        } else if (w == "time") {
            if (!ParseNumber(arg, 0, 0x7FFFFFFF, &n))
                return Refuse(w, "wants whole seconds from the start");
            if (opt_.start_time == 0) return Refuse(w, "the recording has no time stamps");
            const uint64_t t = opt_.start_time + static_cast<uint64_t>(n);
            ZYNVS_PlAY_SetPlayByTime(port_, static_cast<unsigned int>(t),
                                     static_cast<unsigned int>(t >> 32));
            KeepState();
        } else if (w == "snap") {
            Snap(arg);
        } else if (w != "pos") {
            std::printf(
                "unknown command '%s' (pause, resume, toggle, step, back, fast, slow, "
                "speed, seek, time, snap, pos, quit)\n",
                w.c_str());
            std::fflush(stdout);
            return true;
        }
        Print(w.c_str());
        return true;
    }

    bool Refuse(const std::string& command, const char* why) {
        std::printf("%s: %s\n", command.c_str(), why);
        std::fflush(stdout);
        return true;
    }

    bool Key(XKeyEvent* key) {
        char text[8] = {};
        KeySym sym = 0;
        XLookupString(key, text, sizeof text, &sym, nullptr);
        if (sym == XK_q || sym == XK_Escape) return false;
        if (sym == XK_space) return Command("toggle");
        if (sym == XK_n || sym == XK_Right) return Command("step");
        if (sym == XK_b || sym == XK_Left) return Command("back");
        if (sym == XK_plus || sym == XK_KP_Add || sym == XK_equal) return Command("fast");
        if (sym == XK_minus || sym == XK_KP_Subtract) return Command("slow");
        if (sym == XK_p) return Command("resume");
        if (sym >= XK_0 && sym <= XK_9) {
            const int percent = static_cast<int>(sym - XK_0) * 10;
            return Command("seek " + std::to_string(percent == 0 ? 1 : percent));
        }
        return true;
    }

    int Loop(std::chrono::steady_clock::time_point started) {
        bool stdin_open = true;
        std::string pending;
        auto last_print = std::chrono::steady_clock::now();
        for (;;) {
            std::vector<pollfd> fds;
            if (stdin_open) fds.push_back({STDIN_FILENO, POLLIN, 0});
            if (display_) fds.push_back({ConnectionNumber(display_), POLLIN, 0});
            poll(fds.data(), fds.size(), 50);
            if (stdin_open && !fds.empty() && (fds[0].revents & (POLLIN | POLLHUP))) {
                char buf[512];
                const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
                if (n <= 0) {
                    stdin_open = false;
                } else {
                    pending.append(buf, static_cast<std::size_t>(n));
                    std::size_t at;
                    while ((at = pending.find('\n')) != std::string::npos) {
                        const std::string line = pending.substr(0, at);
                        pending.erase(0, at + 1);
                        if (!Command(line)) return 0;
                    }
                }
            }
            while (display_ && XPending(display_) > 0) {
                XEvent ev;
                XNextEvent(display_, &ev);
                if (ev.type == KeyPress && !Key(&ev.xkey)) return 0;
                if (ev.type == ClientMessage) {
                    if (static_cast<Atom>(ev.xclient.data.l[0]) == delete_atom_) return 0;
                    if (ev.xclient.message_type == notice_atom_ &&
                        ev.xclient.data.l[0] == static_cast<long>(kFileEndMessage)) {
                        Screenshot();  // a short file ends before the usual moment
                        Print("end");
                        std::printf("end of file (notice for port %ld)\n", ev.xclient.data.l[1]);
                        return 0;
                    }
                }
            }
            g_osd_seconds = static_cast<int>(Seconds());
            g_osd_percent = ZYNVS_PlAY_GetPlayPos(port_);
            g_osd_paused = paused_;
            if (g_pictures.load() >= 25) Screenshot();
            const auto now = std::chrono::steady_clock::now();
            if (!display_ && ZYNVS_PlAY_GetPlayPos(port_) == 100) {
                Print("end");
                std::printf("end of file\n");
                return 0;
            }
            if ((opt_.seconds > 0 && now - started > std::chrono::seconds(opt_.seconds)) ||
                StopRequested()) {
                Print("stopped");
                return 0;
            }
            if (!opt_.benchmark && now - last_print > std::chrono::milliseconds(500)) {
                Print("status", true);
                last_print = now;
            }
        }
    }

    PlayOptions opt_;
    int port_ = -1;
    Display* display_ = nullptr;
    Window window_ = 0;
    Atom delete_atom_ = 0;
    Atom notice_atom_ = 0;
    bool screenshot_done_ = false;
    bool paused_ = false;
    std::string last_status_;
};

}  // namespace

int CommandPlay(const std::vector<std::string>& args) {
    PlayOptions opt;
    bool no_window = false;
    OptionParser p("play", "FILE [--no-window] [--seek PERCENT] [--speed LEVEL] [--seconds N]",
                   "Plays a recording (native or AVI, also one cut off by a crash) through the\n"
                   "player, in a window or headless, with keys (window) and commands on\n"
                   "standard input; prints the position.");
    p.Positional("FILE", &opt.path, "a native or AVI recording");
    p.Flag("--no-window", &no_window, "play headless (decode only)");
    p.Flag("--benchmark", &opt.benchmark, "no pacing: as fast as it decodes");
    p.Int("--seek", &opt.seek_percent, 0, 99, "start at this percentage of the file");
    p.Int("--speed", &opt.speed, -5, 5, "speed level, 0 normal");
    p.Int("--seconds", &opt.seconds, 0, 86400, "stop after N seconds, 0 at the end");
    p.Text("--screenshot", &opt.screenshot, "FILE.bmp", "window picture after 25 pictures");
    p.Flag("--quiet", &opt.quiet, "no status lines");
    p.Note(kKeys);
    if (int rc = p.Parse(args); rc >= 0) return rc;
    opt.window = !no_window;
    const RecordingFacts facts = InspectRecording(opt.path);
    if (!facts.opened) {
        std::fprintf(stderr, "zynvs play: cannot read %s: %s\n", opt.path.c_str(),
                     facts.error.c_str());
        return kExitFailed;
    }
    if (!IsRecording(facts)) {
        std::fprintf(stderr, "zynvs play: %s: not a recording\n", opt.path.c_str());
        return kExitFailed;
    }
    opt.start_time = facts.start_time;
    Player player(opt);
    return player.Run();
}

}  // namespace zynvs_app
