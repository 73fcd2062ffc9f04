#include "renderkit/x11_window.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

// Xlib defines None, Bool, Status, True, False: include it last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

namespace renderkit {
namespace {

// ---- process-wide error handler --------------------------------------------

struct ErrorCounter {
    int count = 0;  // written by the handler on the connection's own thread
    int last_code = 0;
};

std::mutex g_error_mutex;
// -- guarded by g_error_mutex
std::unordered_map<Display*, ErrorCounter*> g_our_displays;
XErrorHandler g_previous_handler = nullptr;
std::once_flag g_install_once;

int ErrorHandler(Display* display, XErrorEvent* event) {
    XErrorHandler previous = nullptr;
    {
        std::lock_guard lock(g_error_mutex);
        auto it = g_our_displays.find(display);
        if (it != g_our_displays.end()) {
            ++it->second->count;
            it->second->last_code = event->error_code;
            return 0;
        }
        previous = g_previous_handler;
    }
    return previous != nullptr ? previous(display, event) : 0;
}

void InstallErrorHandler() {
    std::call_once(g_install_once, [] {
        XInitThreads();  // harmless when Xlib already did it at load
        XErrorHandler previous = XSetErrorHandler(ErrorHandler);
        std::lock_guard lock(g_error_mutex);
        g_previous_handler = previous;
    });
}

}  // namespace

struct X11WindowTarget::Impl {
    Display* display = nullptr;
    bool display_failed = false;
    ErrorCounter errors;
    bool have_shm = false;

    Window window = 0;
    bool usable = false;
    Visual* visual = nullptr;
    int depth = 0;
    int width = 0;
    int height = 0;
    GC gc = nullptr;

    XImage* image = nullptr;
    XShmSegmentInfo shm{};
    bool image_is_shm = false;

    int ErrorCount() {
        std::lock_guard lock(g_error_mutex);
        return errors.count;
    }

    bool OpenDisplay() {
        if (display != nullptr) return true;
        InstallErrorHandler();
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0') return false;
        display = XOpenDisplay(name);
        if (display == nullptr) return false;
        {
            std::lock_guard lock(g_error_mutex);
            g_our_displays[display] = &errors;
        }
        int major = 0, minor = 0;
        Bool pixmaps = 0;
        have_shm = XShmQueryVersion(display, &major, &minor, &pixmaps) != 0 &&
                   std::getenv("ZYNVS_NO_XSHM") == nullptr;
        return true;
    }

    void CloseDisplay() {
        ReleaseWindow();
        if (display == nullptr) return;
        XCloseDisplay(display);
        std::lock_guard lock(g_error_mutex);
        g_our_displays.erase(display);
        display = nullptr;
    }

    void DestroyImage() {
        if (image == nullptr) return;
        if (image_is_shm) {
            XShmDetach(display, &shm);
            XSync(display, 0);
            image->data = nullptr;
            XDestroyImage(image);
            shmdt(shm.shmaddr);
            shm = XShmSegmentInfo{};
        } else {
            XDestroyImage(image);  // frees the malloc'd pixels too
        }
        image = nullptr;
        image_is_shm = false;
    }

    bool CreateShmImage(int w, int h) {
        image = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr,
                                &shm, static_cast<unsigned>(w), static_cast<unsigned>(h));
        if (image == nullptr) return false;
        const size_t bytes = static_cast<size_t>(image->bytes_per_line) * image->height;
        shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (shm.shmid < 0) {
            XDestroyImage(image);
            image = nullptr;
            return false;
        }
        shm.shmaddr = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
        if (shm.shmaddr == reinterpret_cast<char*>(-1)) {
            shmctl(shm.shmid, IPC_RMID, nullptr);
            XDestroyImage(image);
            image = nullptr;
            return false;
        }
        image->data = shm.shmaddr;
        shm.readOnly = 0;
        const int before = ErrorCount();
        const bool attached = XShmAttach(display, &shm) != 0;
        XSync(display, 0);
        // Removed now so the segment goes away with the last detach, even
        // when the process dies.
        shmctl(shm.shmid, IPC_RMID, nullptr);
        if (!attached || ErrorCount() != before) {
            image->data = nullptr;
            XDestroyImage(image);
            image = nullptr;
            shmdt(shm.shmaddr);
            shm = XShmSegmentInfo{};
            have_shm = false;  // e.g. a remote server: use plain images from now on
            return false;
        }
        image_is_shm = true;
        return true;
    }

    bool CreatePlainImage(int w, int h) {
        const int stride = w * 4;
        char* pixels = static_cast<char*>(std::malloc(static_cast<size_t>(stride) * h));
        if (pixels == nullptr) return false;
        image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, pixels,
                             static_cast<unsigned>(w), static_cast<unsigned>(h), 32, stride);
        if (image == nullptr) {
            std::free(pixels);
            return false;
        }
        return true;
    }

    bool EnsureImage() {
        if (image != nullptr && image->width == width && image->height == height) return true;
        DestroyImage();
        if (width <= 0 || height <= 0) return false;
        if (have_shm && CreateShmImage(width, height)) return true;
        return CreatePlainImage(width, height);
    }

    void ReleaseWindow() {
        DestroyImage();
        if (display != nullptr && gc != nullptr) XFreeGC(display, gc);
        gc = nullptr;
        if (display != nullptr && window != 0 && usable) {
            XSelectInput(display, window, NoEventMask);
            XSync(display, 0);
        }
        window = 0;
        usable = false;
    }

    bool Bind(Window w) {
        ReleaseWindow();
        window = w;
        if (w == 0) return false;
        if (!OpenDisplay()) return false;
        const int before = ErrorCount();
        XWindowAttributes attributes{};
        const Status got = XGetWindowAttributes(display, w, &attributes);
        XSync(display, 0);
        if (got == 0 || ErrorCount() != before) return false;
        Visual* v = attributes.visual;
        if (v == nullptr || v->c_class != TrueColor || (attributes.depth != 24 && attributes.depth != 32) ||
            v->red_mask != 0xFF0000 || v->green_mask != 0x00FF00 || v->blue_mask != 0x0000FF) {
            return false;
        }
        visual = v;
        depth = attributes.depth;
        width = attributes.width;
        height = attributes.height;
        XSelectInput(display, w, StructureNotifyMask | ExposureMask);
        gc = XCreateGC(display, w, 0, nullptr);
        XSync(display, 0);
        if (ErrorCount() != before) {
            if (gc != nullptr) XFreeGC(display, gc);
            gc = nullptr;
            return false;
        }
        usable = true;
        return true;
    }

    void MarkGone() {
        // The window is gone; its resources are gone with it on the server.
        DestroyImage();
        if (gc != nullptr) XFreeGC(display, gc);
        gc = nullptr;
        usable = false;
    }
};

X11WindowTarget::X11WindowTarget() : impl_(std::make_unique<Impl>()) {}
X11WindowTarget::~X11WindowTarget() { impl_->CloseDisplay(); }

bool X11WindowTarget::Bind(unsigned long window) { return impl_->Bind(window); }
unsigned long X11WindowTarget::window() const { return impl_->window; }
bool X11WindowTarget::usable() const { return impl_->usable; }

bool X11WindowTarget::PollEvents() {
    Impl& d = *impl_;
    if (d.display == nullptr) return false;
    bool repaint = false;
    while (XPending(d.display) > 0) {
        XEvent event;
        XNextEvent(d.display, &event);
        if (event.xany.window != d.window) continue;
        switch (event.type) {
            case ConfigureNotify:
                if (event.xconfigure.width != d.width || event.xconfigure.height != d.height) {
                    d.width = event.xconfigure.width;
                    d.height = event.xconfigure.height;
                    repaint = true;
                }
                break;
            case Expose:
                if (event.xexpose.count == 0) repaint = true;
                break;
            case DestroyNotify: d.MarkGone(); return false;
            default: break;
        }
    }
    return repaint && d.usable;
}

uint8_t* X11WindowTarget::BeginFrame(int* width, int* height, int* stride) {
    Impl& d = *impl_;
    if (!d.usable || !d.EnsureImage()) return nullptr;
    *width = d.image->width;
    *height = d.image->height;
    *stride = d.image->bytes_per_line;
    return reinterpret_cast<uint8_t*>(d.image->data);
}

bool X11WindowTarget::EndFrame() {
    Impl& d = *impl_;
    if (!d.usable || d.image == nullptr) return false;
    const int before = d.ErrorCount();
    const auto w = static_cast<unsigned>(d.image->width);
    const auto h = static_cast<unsigned>(d.image->height);
    if (d.image_is_shm) {
        XShmPutImage(d.display, d.window, d.gc, d.image, 0, 0, 0, 0, w, h, 0);
    } else {
        XPutImage(d.display, d.window, d.gc, d.image, 0, 0, 0, 0, w, h);
    }
    // The shared buffer is reused for the next picture: wait until the
    // server has copied it. This is also where errors of this frame arrive.
    XSync(d.display, 0);
    if (d.ErrorCount() != before) {
        d.MarkGone();
        return false;
    }
    return true;
}

void X11WindowTarget::Clear() {
    Impl& d = *impl_;
    if (!d.usable || d.gc == nullptr) return;
    XSetForeground(d.display, d.gc, 0);
    XFillRectangle(d.display, d.window, d.gc, 0, 0, static_cast<unsigned>(d.width),
                   static_cast<unsigned>(d.height));
    XSync(d.display, 0);
}

void X11WindowTarget::Shutdown() { impl_->CloseDisplay(); }

}  // namespace renderkit
