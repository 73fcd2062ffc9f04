/* CamSearch (libCamSearch.so) and NetClient (libNetClient.so): libraries
 * that export by ordinal; here ordinal N is the symbol <Library>_OrdN. */
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Twelve arguments: unused, device name, IP, six MAC bytes, web port, data
 * port, mask, gateway, two more texts, a 16-bit value, channel count. Runs on
 * the library's thread; the pointers are valid only during the call. */
typedef void (*CamSearchCallback)(void* unused, const char* name, const char* ip,
                                  const uint8_t* mac, int web_port, int data_port, const char* mask,
                                  const char* gateway, const char* text9, const char* text10,
                                  uint16_t value11, int channels);

typedef int (*CamSearch_Ord1_t)(void* owner); /* initialise */
typedef int (*CamSearch_Ord2_t)(void* owner); /* clean up */
typedef int (*CamSearch_Ord3_t)(void* owner, int wait_ms, CamSearchCallback cb, int flags);
typedef int (*CamSearch_Ord4_t)(int wait_ms, CamSearchCallback cb, int flags);
/* change: mask, MAC bytes, name, IP, mask, gateway, multicast group, IP, web
 * port, data port, a third port, flags */
typedef int (*CamSearch_Ord5_t)(const char* match_mask, const uint8_t* mac, const char* name,
                                const char* ip, const char* mask, const char* gateway,
                                const char* group, const char* ip2, int web_port, int data_port,
                                int port3, int flags);

/* A flag the library sets (to 1) when an upgrade has ended. */
typedef struct NetClientEvent {
    volatile int signalled;
} NetClientEvent;

/* upgrade start: IP, user, password, file, event, data port, flags; -1 fails */
typedef int (*NetClient_Ord35_t)(const char* ip, const char* user, const char* password,
                                 const char* path, NetClientEvent* done, int port, int flags);
typedef int (*NetClient_Ord36_t)(void); /* upgrade result: 0 success */
/* reboot and restore: name, IP, user, password, data port; nonzero success */
typedef int (*NetClient_Ord37_t)(const char* name, const char* ip, const char* user,
                                 const char* password, int port);
typedef int (*NetClient_Ord53_t)(const char* name, const char* ip, const char* user,
                                 const char* password, int port);

#ifdef __cplusplus
}
#endif
