/* JSNetProtocol (libJSNetProtocol.so) and JSDec (libJSDec.so), by ordinal:
 * symbols JSNetProtocol_OrdN and JSDec_OrdN. Search results are posted to a
 * window as message 1130 carrying a text of KEY=value pairs; here the window
 * is a JsWindow whose post function queues the message for the window's own
 * thread. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define JS_SEARCH_MESSAGE 1130

typedef struct JsWindow {
    /* Must only queue: called on the library's thread. The text is valid only
     * during the call. */
    void (*post)(void* context, unsigned message, const char* text);
    void* context;
} JsWindow;

typedef int (*JSNetProtocol_Ord2_t)(void* owner); /* initialise */
typedef int (*JSNetProtocol_Ord3_t)(void);        /* clean up */
/* search on (1) or off (0), posting results to `window` as `message` */
typedef int (*JSNetProtocol_Ord24_t)(void* owner, int on, JsWindow* window, unsigned message);
/* login: IP, port, stream text, flag, user, password, window; 0 success.
 * One login at a time per library (the session the other calls use). */
typedef int (*JSNetProtocol_Ord5_t)(const char* ip, int port, const char* stream, int flag,
                                    const char* user, const char* password, JsWindow* window);
typedef int (*JSNetProtocol_Ord6_t)(void); /* logout */
/* read the network texts (each 32 bytes): IP, MAC, mask, gateway; 0 success */
typedef int (*JSNetProtocol_Ord44_t)(char* ip, char* mac, char* mask, char* gateway);
typedef int (*JSNetProtocol_Ord45_t)(const char* ip, const char* mac, const char* mask,
                                     const char* gateway);
typedef int (*JSNetProtocol_Ord50_t)(void);             /* restore; 0 success */
typedef int (*JSNetProtocol_Ord51_t)(void);             /* reboot; 0 success */
typedef int (*JSNetProtocol_Ord65_t)(const char* path); /* upgrade start; 0 success */
typedef int (*JSNetProtocol_Ord87_t)(int wait_ms);      /* upgrade wait; 0 success */
typedef int (*JSDec_Ord3_t)(void);                      /* clean up */

#ifdef __cplusplus
}
#endif
