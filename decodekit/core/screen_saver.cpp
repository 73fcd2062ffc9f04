#include "decodekit/core/screen_saver.h"

#include <cstdlib>

// Xlib defines macros such as None and Bool: keep it last.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace zyn {
ScreenSaverProbe::ScreenSaverProbe() = default;

ScreenSaverProbe::~ScreenSaverProbe() {
    if (display_) XCloseDisplay(static_cast<Display*>(display_));
}

bool ScreenSaverProbe::Running() {
    if (!tried_) {
        tried_ = true;
        const char* name = std::getenv("DISPLAY");
        if (name && *name) display_ = XOpenDisplay(name);
        if (display_) {
            int event_base = 0, error_base = 0;
            has_extension_ =
                XScreenSaverQueryExtension(static_cast<Display*>(display_), &event_base,
                                           &error_base) != 0;
        }
    }
    if (!display_ || !has_extension_) return false;
    auto* dpy = static_cast<Display*>(display_);
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info) return false;
    bool on = XScreenSaverQueryInfo(dpy, DefaultRootWindow(dpy), info) && info->state == ScreenSaverOn;
    XFree(info);
    return on;
}
}  // namespace zyn
