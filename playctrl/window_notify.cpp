#include "playctrl/window_notify.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace playctrl {
namespace {
std::mutex g_hook_mutex;
WindowNoticeHook g_hook = nullptr;  // guarded by g_hook_mutex
void* g_hook_user = nullptr;        // guarded by g_hook_mutex

bool SendX11(ZYNVS_WND window, uint32_t message, long wparam, long lparam) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return false;
    xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
    if (conn == nullptr) return false;
    bool ok = false;
    if (xcb_connection_has_error(conn) == 0) {
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            conn,
            xcb_intern_atom(conn, 0, static_cast<uint16_t>(std::strlen(kWindowMessageAtom)),
                            kWindowMessageAtom),
            nullptr);
        if (atom != nullptr) {
            // The event is sent as 32 bytes whatever the struct's size.
            char raw[32] = {};
            auto* ev = reinterpret_cast<xcb_client_message_event_t*>(raw);
            ev->response_type = XCB_CLIENT_MESSAGE;
            ev->format = 32;
            ev->window = static_cast<xcb_window_t>(window);
            ev->type = atom->atom;
            ev->data.data32[0] = message;
            ev->data.data32[1] = static_cast<uint32_t>(wparam);
            ev->data.data32[2] = static_cast<uint32_t>(lparam);
            xcb_generic_error_t* error = xcb_request_check(
                conn, xcb_send_event_checked(conn, 0, static_cast<xcb_window_t>(window),
                                             XCB_EVENT_MASK_NO_EVENT, raw));
            ok = error == nullptr;
            std::free(error);
            std::free(atom);
        }
    }
    xcb_disconnect(conn);
    return ok;
}
}  // namespace

void SetWindowNoticeHook(WindowNoticeHook hook, void* user) {
    std::lock_guard lock(g_hook_mutex);
    g_hook = hook;
    g_hook_user = user;
}

bool SendWindowNotice(ZYNVS_WND window, uint32_t message, long wparam, long lparam) {
    WindowNoticeHook hook;
    void* user;
    {
        std::lock_guard lock(g_hook_mutex);
        hook = g_hook;
        user = g_hook_user;
    }
    if (hook != nullptr) {
        hook(window, message, wparam, lparam, user);
        return true;
    }
    if (window == 0) return false;
    return SendX11(window, message, wparam, lparam);
}

}  // namespace playctrl
