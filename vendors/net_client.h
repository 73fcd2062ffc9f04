/* NetClient (libNetClient.so), bound by ordinal: ordinal N is the symbol
 * NetClient_OrdN. The search tool uses the upgrade, reboot and restore
 * ordinals (cam_search.h); the configuration control's LangChi devices use
 * the session, configuration, PTZ and stream ordinals below. Results: a
 * session or stream handle of -1 is failure; other calls return non-zero on
 * success unless noted. Stream callbacks run on the library's threads. */
#pragma once
#include <stdint.h>

#include "vendors/cam_search.h"

#ifdef __cplusplus
#include <memory>
extern "C" {
#endif

/* One raw picture per call: 16-bit width, 16-bit height, 32-bit frame number,
 * then width*height grey bytes. */
typedef void (*NetClientStreamCallback)(int stream, const uint8_t* data, int length, void* user);

/* Wireless networks a device sees (ordinal 171): valid until the next call. */
typedef struct NetClientWifiList {
    int32_t count;
    char entries[16][44]; /* each starts with its SSID text */
} NetClientWifiList;

#define NET_CLIENT_CALLS(X)                                                                      \
    X(int, NetClient_Ord1, (int port_base)) /* initialise */                                     \
    X(int, NetClient_Ord3, (int a, int b))  /* configure */                                      \
    X(int, NetClient_Ord4, (void))          /* clean up */                                       \
    X(int, NetClient_Ord124,                /* log in: session or -1 */                          \
      (const char* name, const char* name2, const char* host, const char* user,                  \
       const char* password, int port))                                                          \
    X(int, NetClient_Ord125, (int session)) /* log out */                                        \
    X(int, NetClient_Ord233, (int value))                                                        \
    X(int, NetClient_Ord187, (void))                                                             \
    /* configuration: command 1 fills three int32 counts at a, b, c (channels, alarm inputs,     \
       alarm outputs); other commands: a = channel, b = record, c = record size */               \
    X(int, NetClient_Ord126,                                                                     \
      (int session, int command, intptr_t a, intptr_t b, intptr_t c, intptr_t d))                \
    X(int, NetClient_Ord20, /* PTZ */                                                            \
      (int session, int channel, int command, int parameter, int speed))                         \
    X(const NetClientWifiList*, NetClient_Ord171,                                                \
      (const char* name, const char* ip, const char* user, const char* password, int port))      \
    X(int, NetClient_Ord56, /* serial record (16 bytes) */                                       \
      (const char* name, const char* ip, int channel, const char* user, const char* password,    \
       void* record16, int port))                                                                \
    X(int, NetClient_Ord57,                                                                      \
      (const char* ip, const char* name, const char* ip2, int channel, const char* user,         \
       const char* password, const void* record16, int port))                                    \
    X(int, NetClient_Ord81, /* PTZ protocol upload: 0 ok */                                      \
      (const char* name, const char* ip, const char* user, const char* password, int channel,    \
       const char* path, int port))                                                              \
    X(int, NetClient_Ord82, /* PTZ protocol name (40) */                                         \
      (const char* name, const char* ip, int channel, const char* user, const char* password,    \
       char* text40, int port))                                                                  \
    X(int, NetClient_Ord40, /* stream open: handle or -1 */                                      \
      (int session, int channel, int substream, uint64_t window, NetClientStreamCallback cb,     \
       void* user))                                                                              \
    X(int, NetClient_Ord41, (int stream))                            /* stream close */          \
    X(int, NetClient_Ord42, (int stream, const char* path))          /* picture to a BMP file */ \
    X(int, NetClient_Ord43, (int stream, uint64_t window, int flag)) /* change window */         \
    X(int, NetClient_Ord44, (int stream, const char* path))          /* local recording start */ \
    X(int, NetClient_Ord45, (int stream))                            /* local recording stop */  \
    X(int, NetClient_Ord46, (int stream, const void* rect)) /* shown part of the picture */      \
    X(int, NetClient_Ord35,                                                                      \
      (const char* ip, const char* user, const char* password, const char* path,                 \
       NetClientEvent* done, int port, int flags))                                               \
    X(int, NetClient_Ord36, (void))                                                              \
    X(int, NetClient_Ord37,                                                                      \
      (const char* name, const char* ip, const char* user, const char* password, int port))      \
    X(int, NetClient_Ord53,                                                                      \
      (const char* name, const char* ip, const char* user, const char* password, int port))

#define NET_CLIENT_DECLARE_TYPE(ret, name, args) typedef ret(*name##_fn) args;
NET_CLIENT_CALLS(NET_CLIENT_DECLARE_TYPE)
#undef NET_CLIENT_DECLARE_TYPE

#ifdef __cplusplus
}

namespace vendors {
struct NetClientLib {
#define NET_CLIENT_DECLARE_MEMBER(ret, name, args) name##_fn name = nullptr;
    NET_CLIENT_CALLS(NET_CLIENT_DECLARE_MEMBER)
#undef NET_CLIENT_DECLARE_MEMBER
    // Loaded through VendorLibrary ("NetClient"); nullptr when missing.
    static std::shared_ptr<const NetClientLib> Load();
};
}  // namespace vendors
#endif
