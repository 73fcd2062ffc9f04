/* ZynConFigCtrl: the configuration control's C interface, for hosts that are
 * not Qt programs (and for Qt programs that prefer it).
 *
 * A host creates the control inside one of its native windows (an X11 window
 * id; 0 makes the control a window of its own), places it, and calls
 * ZYNCFG_LoginDevice once; the control logs in and opens its configuration
 * window over the control's area. Hosts without a Qt event loop call
 * ZYNCFG_ProcessEvents regularly (for instance from their own loop or a
 * timer); the control does nothing between calls.
 *
 * Threads: every function is called on one thread, the first one that called
 * ZYNCFG_Create (the control's GUI thread); calls from other threads return
 * 0 and do nothing. When the host has no QApplication the library makes one
 * and deletes it with the last control.
 *
 * Null or unknown handles are answered with 0 and nothing happens. */
#ifndef ZYNCONFIGCTRL_H
#define ZYNCONFIGCTRL_H

#include "zynvs/zynvs_platform.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZynConFigCtrl ZynConFigCtrl;

/* Creates a control inside `parent` (0: a top-level window), placed at
 * (x, y) in the parent with the given size, and shows it. The handle is the
 * caller's until ZYNCFG_Destroy. Null when no control can be made (no
 * display, another thread). */
ZYNVS_API ZynConFigCtrl* ZYNVS_CALL ZYNCFG_Create(ZYNVS_WND parent, int x, int y, int width,
                                                  int height);

/* LoginDevice: texts in the system's 8-bit code page (null = empty); blocks
 * while the device logs in (up to the vendor's connect time-out). 1 whatever
 * the login gave (the window shows it); 0 only for a bad handle. */
ZYNVS_API int ZYNVS_CALL ZYNCFG_LoginDevice(ZynConFigCtrl* ctrl, const char* sername,
                                            const char* serurl, int serport, const char* username,
                                            const char* password, int iType);

/* MoveWindow: the configuration window to x = left, y = top, width = right -
 * left, height = bpttom - top, in screen coordinates (note the order). 1, or
 * 0 for a bad handle. */
ZYNVS_API int ZYNVS_CALL ZYNCFG_MoveWindow(ZynConFigCtrl* ctrl, short left, short right, short top,
                                           short bpttom);

/* AboutBox: shows the control's version and identifiers; does not block. */
ZYNVS_API int ZYNVS_CALL ZYNCFG_AboutBox(ZynConFigCtrl* ctrl);

/* The configuration window's native window id (0 before LoginDevice). */
ZYNVS_API ZYNVS_WND ZYNVS_CALL ZYNCFG_GetConfigWindow(ZynConFigCtrl* ctrl);

/* Runs the control's pending events for at most `max_ms` milliseconds. */
ZYNVS_API int ZYNVS_CALL ZYNCFG_ProcessEvents(int max_ms);

/* Destroys the control: its window stops live video, logs the device out
 * and deletes it. The handle is invalid afterwards. */
ZYNVS_API int ZYNVS_CALL ZYNCFG_Destroy(ZynConFigCtrl* ctrl);

#ifdef __cplusplus
}
#endif

#endif
