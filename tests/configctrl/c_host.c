/* A host written in C: embeds the control in an X11 window of its own (when
 * there is a display; otherwise as a window of its own on the offscreen
 * platform), logs in, moves the configuration window, shows the about box
 * and destroys the control. Exit status 0 when every check held. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zynvs/ZynConFigCtrl.h>

#include <X11/Xlib.h>

static int failures = 0;

#define CHECK(cond)                                                            \
    do {                                                                       \
        if (!(cond)) {                                                         \
            fprintf(stderr, "c_host: %s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                        \
        }                                                                      \
    } while (0)

int main(void) {
    Display* dpy = NULL;
    Window host = 0;
    if (getenv("DISPLAY") && *getenv("DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        dpy = XOpenDisplay(NULL);
    }
    if (dpy) {
        host = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 640, 480, 0, 0, 0xffffff);
        XMapWindow(dpy, host);
        XSync(dpy, False);
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    /* Bad handles are answered, not followed. */
    CHECK(ZYNCFG_LoginDevice(NULL, "a", "b", 1, "c", "d", 1) == 0);
    CHECK(ZYNCFG_MoveWindow(NULL, 0, 1, 0, 1) == 0);
    CHECK(ZYNCFG_Destroy(NULL) == 0);

    ZynConFigCtrl* ctrl = ZYNCFG_Create(host, 0, 0, 640, 480);
    CHECK(ctrl != NULL);
    if (!ctrl) return 1;
    CHECK(ZYNCFG_GetConfigWindow(ctrl) == 0);
    /* A type that names no vendor: the window opens without a device. */
    CHECK(ZYNCFG_LoginDevice(ctrl, "camera", "127.0.0.1", 7000, NULL, "password", 42) == 1);
    ZYNVS_WND config = ZYNCFG_GetConfigWindow(ctrl);
    CHECK(config != 0);
    CHECK(ZYNCFG_MoveWindow(ctrl, 10, 110, 20, 220) == 1);
    CHECK(ZYNCFG_AboutBox(ctrl) == 1);
    CHECK(ZYNCFG_ProcessEvents(50) == 1);
    if (dpy && config) {
        /* The X server's view of the configuration window after MoveWindow. */
        XWindowAttributes a;
        int ok = 0;
        for (int i = 0; i < 200 && !ok; ++i) {
            ZYNCFG_ProcessEvents(10);
            XSync(dpy, False);
            ok = XGetWindowAttributes(dpy, (Window)config, &a) && a.width == 100 && a.height == 200;
        }
        if (!ok) fprintf(stderr, "c_host: configuration window %dx%d\n", a.width, a.height);
        CHECK(ok);
    }
    CHECK(ZYNCFG_Destroy(ctrl) == 1);
    CHECK(ZYNCFG_Destroy(ctrl) == 0);
    if (dpy) {
        XDestroyWindow(dpy, host);
        XCloseDisplay(dpy);
    }
    if (failures == 0) printf("c_host: ok\n");
    return failures ? 1 : 0;
}
