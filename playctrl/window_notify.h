// Window notices to a host window: the stand-in for a window message. On X11
// a notice is a ClientMessage event of type "ZYNVS_WINDOW_MESSAGE", format 32,
// with data.l[0] = message, data.l[1] = wparam, data.l[2] = lparam, sent to
// the window (its owner receives it whatever its event mask).
//
// Each notice opens its own connection to the display named by DISPLAY, so
// the host's Xlib state is never touched; errors (no display, a window that
// no longer exists) come back as a false result, never as an Xlib error
// handler call. Thread-safe.
#pragma once

#include <cstdint>

#include <zynvs/zynvs_platform.h>

namespace playctrl {

inline constexpr const char* kWindowMessageAtom = "ZYNVS_WINDOW_MESSAGE";

// Tests: a hook that receives every notice instead of the display (null
// restores the X11 path). Called on the notifying thread.
using WindowNoticeHook = void (*)(ZYNVS_WND window, uint32_t message, long wparam, long lparam,
                                  void* user);
void SetWindowNoticeHook(WindowNoticeHook hook, void* user);

// Sends one notice. True when the hook took it or the X server accepted it;
// false for window 0, without a display, or when the window does not exist.
bool SendWindowNotice(ZYNVS_WND window, uint32_t message, long wparam, long lparam);

}  // namespace playctrl
