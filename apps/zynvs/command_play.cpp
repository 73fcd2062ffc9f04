// zynvs play FILE: plays a native recording through the player's C interface,
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
};

std::atomic<int> g_pictures{0};
void ZYNVS_CALL OnPicture(ZYNVS_HDC, ZYNVS_SIZE*, int, void*) {
    ++g_pictures;
}

void Usage() {
    std::fprintf(
        stderr,
        "usage: zynvs play FILE [--no-window] [--benchmark] [--seek PERCENT]\n"
        "                  [--speed LEVEL] [--seconds N] [--screenshot FILE.bmp] [--quiet]\n"
        "keys (window): space pause/resume, n or Right step, b or Left step back,\n"
        "               + faster, - slower, 0..9 seek to 0..90 %%, q or Escape quit\n"
        "commands (stdin): play, pause, step, back, fast, slow, speed N, seek PERCENT,\n"
        "                  time SECONDS, snap FILE, pos, quit\n");
}

std::string TimeText(uint64_t t) {
    if (t == 0) return "-";
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buf;
}

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

    // One status line; the periodic one only when something changed.
    void Print(const char* what, bool periodic = false) {
        if (opt_.quiet) return;
        char status[160];
        std::snprintf(status, sizeof status, "pos %3d %%  time %s  speed %d  pictures %d",
                      ZYNVS_PlAY_GetPlayPos(port_), TimeText(ZYNVS_PlAY_GetPlayTime(port_)).c_str(),
                      ZYNVS_PlAY_GetSpeed(port_), g_pictures.load());
        if (periodic && last_status_ == status) return;
        last_status_ = status;
        std::printf("%-8s %s\n", what, status);
        std::fflush(stdout);
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
        if (w == "quit" || w == "q") return false;
        if (w == "play")
            ZYNVS_PlAY_Play(port_, 0);
        else if (w == "pause")
            ZYNVS_PlAY_Pause(port_, 0);
        else if (w == "step")
            ZYNVS_PlAY_OneByOne(port_);
        else if (w == "back")
            ZYNVS_PlAY_OneByOneBack(port_);
        else if (w == "fast")
            ZYNVS_PlAY_Fast(port_);
        else if (w == "slow")
            ZYNVS_PlAY_Slow(port_);
        else if (w == "speed")
            ZYNVS_PlAY_SetSpeed(port_, std::atoi(arg));
        else if (w == "seek")
            ZYNVS_PlAY_SetPlayPos(port_, std::atoi(arg));
        else if (w == "time") {
            const unsigned long long t = std::strtoull(arg, nullptr, 10);
            ZYNVS_PlAY_SetPlayByTime(port_, static_cast<unsigned int>(t),
                                     static_cast<unsigned int>(t >> 32));
        } else if (w == "snap") {
            std::printf("snapshot %s\n", arg);
            ZYNVS_PLAY_CapPic(port_, arg, 0);
        } else if (w != "pos") {
            std::fprintf(stderr, "zynvs play: unknown command '%s'\n", w.c_str());
            return true;
        }
        Print(w.c_str());
        return true;
    }

    bool Key(XKeyEvent* key) {
        char text[8] = {};
        KeySym sym = 0;
        XLookupString(key, text, sizeof text, &sym, nullptr);
        if (sym == XK_q || sym == XK_Escape) return false;
        if (sym == XK_space) return Command("pause");
        if (sym == XK_n || sym == XK_Right) return Command("step");
        if (sym == XK_b || sym == XK_Left) return Command("back");
        if (sym == XK_plus || sym == XK_KP_Add || sym == XK_equal) return Command("fast");
        if (sym == XK_minus || sym == XK_KP_Subtract) return Command("slow");
        if (sym == XK_p) return Command("play");
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
            if (g_pictures.load() >= 25) Screenshot();
            const auto now = std::chrono::steady_clock::now();
            if (!display_ && ZYNVS_PlAY_GetPlayPos(port_) == 100) {
                Print("end");
                std::printf("end of file\n");
                return 0;
            }
            if (opt_.seconds > 0 && now - started > std::chrono::seconds(opt_.seconds)) {
                Print("stopped");
                return 0;
            }
            if (!opt_.benchmark && now - last_print > std::chrono::milliseconds(500)) {
                Print("playing", true);
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
    std::string last_status_;
};

}  // namespace

int CommandPlay(const std::vector<std::string>& args) {
    PlayOptions opt;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool more = i + 1 < args.size();
        if (a == "--no-window")
            opt.window = false;
        else if (a == "--benchmark")
            opt.benchmark = true;
        else if (a == "--quiet")
            opt.quiet = true;
        else if (a == "--seek" && more)
            opt.seek_percent = std::atoi(args[++i].c_str());
        else if (a == "--speed" && more)
            opt.speed = std::atoi(args[++i].c_str());
        else if (a == "--seconds" && more)
            opt.seconds = std::atoi(args[++i].c_str());
        else if (a == "--screenshot" && more)
            opt.screenshot = args[++i];
        else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else if (!a.empty() && a[0] != '-' && opt.path.empty())
            opt.path = a;
        else {
            std::fprintf(stderr, "zynvs play: unknown option '%s'\n", a.c_str());
            Usage();
            return 2;
        }
    }
    if (opt.path.empty()) {
        Usage();
        return 2;
    }
    Player player(opt);
    return player.Run();
}

}  // namespace zynvs_app
