#include "apps/zynvs/live_window.h"

// Xlib last: it defines None, Bool, Status, True and False.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace zynvs_app {
namespace {
constexpr int kWidth = 960;
constexpr int kHeight = 540;
}  // namespace

struct LiveWindow::Impl {
    Display* display = nullptr;
    Window top = 0;
    std::vector<Window> children;
    Atom delete_atom = 0;
    int columns = 1, rows = 1;

    // One channel fills the window; two sit side by side; three or four
    // make a 2 x 2 grid.
    void Layout(int width, int height) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            const int col = static_cast<int>(i) % columns, row = static_cast<int>(i) / columns;
            const int x = width * col / columns, y = height * row / rows;
            const int w = width * (col + 1) / columns - x, h = height * (row + 1) / rows - y;
            XMoveResizeWindow(display, children[i], x, y, static_cast<unsigned>(w > 1 ? w : 1),
                              static_cast<unsigned>(h > 1 ? h : 1));
        }
    }
};

LiveWindow::LiveWindow() : impl_(std::make_unique<Impl>()) {}

LiveWindow::~LiveWindow() {
    if (impl_->display == nullptr) return;
    if (impl_->top) XDestroyWindow(impl_->display, impl_->top);
    XCloseDisplay(impl_->display);
}

bool LiveWindow::Open(const std::string& title, int channels, std::string* why) {
    Impl& m = *impl_;
    m.display = XOpenDisplay(nullptr);
    if (m.display == nullptr) {
        *why = "no X display (DISPLAY is not set or cannot be opened)";
        return false;
    }
    m.columns = channels > 1 ? 2 : 1;
    m.rows = channels > 2 ? 2 : 1;
    const int screen = DefaultScreen(m.display);
    m.top = XCreateSimpleWindow(m.display, RootWindow(m.display, screen), 0, 0, kWidth, kHeight, 0,
                                0, BlackPixel(m.display, screen));
    XStoreName(m.display, m.top, title.c_str());
    XSelectInput(m.display, m.top, KeyPressMask | StructureNotifyMask);
    m.delete_atom = XInternAtom(m.display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(m.display, m.top, &m.delete_atom, 1);
    for (int i = 0; i < channels; ++i) {
        // A thin border keeps the grid visible; keys reach the top window.
        Window child =
            XCreateSimpleWindow(m.display, m.top, 0, 0, 1, 1, 0, 0, BlackPixel(m.display, screen));
        XSelectInput(m.display, child, KeyPressMask);
        m.children.push_back(child);
    }
    m.Layout(kWidth, kHeight);
    XMapSubwindows(m.display, m.top);
    XMapRaised(m.display, m.top);
    XEvent ev;
    do XNextEvent(m.display, &ev);
    while (ev.type != MapNotify || ev.xmap.window != m.top);
    XSync(m.display, False);
    return true;
}

unsigned long LiveWindow::channel_window(int i) const {
    const auto& c = impl_->children;
    return i >= 0 && static_cast<std::size_t>(i) < c.size() ? c[static_cast<std::size_t>(i)] : 0;
}

unsigned long LiveWindow::window() const {
    return impl_->top;
}

std::vector<LiveWindow::Key> LiveWindow::Poll() {
    std::vector<Key> keys;
    Impl& m = *impl_;
    if (m.display == nullptr) return keys;
    while (XPending(m.display) > 0) {
        XEvent ev;
        XNextEvent(m.display, &ev);
        if (ev.type == ConfigureNotify && ev.xconfigure.window == m.top) {
            m.Layout(ev.xconfigure.width, ev.xconfigure.height);
        } else if (ev.type == ClientMessage &&
                   static_cast<Atom>(ev.xclient.data.l[0]) == m.delete_atom) {
            keys.push_back(Key::kQuit);
        } else if (ev.type == KeyPress) {
            KeySym sym = 0;
            char text[8] = {};
            XLookupString(&ev.xkey, text, sizeof text, &sym, nullptr);
            if (sym == XK_q || sym == XK_Escape)
                keys.push_back(Key::kQuit);
            else if (sym == XK_s)
                keys.push_back(Key::kSnapshot);
            else if (sym == XK_m)
                keys.push_back(Key::kMute);
        }
    }
    XFlush(m.display);
    return keys;
}

}  // namespace zynvs_app
