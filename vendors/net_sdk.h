/* NetSDK (libNetSDK.so), by ordinal: symbol NetSDK_OrdN. */
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NETSDK_SEARCH_ENTRY_BYTES 240
#define NETSDK_NETWORK_BLOCK_BYTES 144

#pragma pack(push, 1)
typedef struct NetSdkSearchEntry {
    char name[32];
    uint8_t reserved32[32];
    uint8_t ip[4];
    uint8_t mask[4];
    uint8_t gateway[4];
    uint16_t web_port;
    uint8_t reserved78[2];
    uint16_t data_port;
    uint8_t reserved82[2];
    int32_t extra1;
    int32_t extra2;
    uint8_t reserved92[17];
    char mac[20];
    uint8_t reserved129[111];
} NetSdkSearchEntry;

typedef struct NetSdkNetworkBlock {
    uint8_t ip[4];
    uint8_t mask[4];
    uint8_t gateway[4];
    char mac[20];
    uint16_t web_port;
    uint16_t data_port;
    int32_t extra1;
    int32_t extra2;
    int32_t channels;
    uint8_t reserved48[96];
} NetSdkNetworkBlock;
#pragma pack(pop)

typedef void (*NetSdkProgressCallback)(int handle, int progress, void* user);

typedef int (*NetSDK_Ord1_t)(int flags, void* owner); /* initialise */
typedef int (*NetSDK_Ord2_t)(void* owner);            /* clean up */
/* login: IP, port, user, password, error out; a positive handle on success */
typedef int (*NetSDK_Ord5_t)(const char* ip, int port, const char* user, const char* password,
                             int* error);
typedef int (*NetSDK_Ord7_t)(int handle); /* logout */
/* restore: selection (10 bytes), handle, command, channel, selection bytes, wait */
typedef int (*NetSDK_Ord12_t)(const uint8_t* selection, int handle, int command, int channel,
                              int selection_bytes, int wait_ms);
/* set network: device (second extra value), command, channel, block, bytes, wait */
typedef int (*NetSDK_Ord13_t)(int device, int command, int channel, const NetSdkNetworkBlock* block,
                              int bytes, int wait_ms);
/* upgrade: handle, file, flags, progress callback, user; nonzero started */
typedef int (*NetSDK_Ord34_t)(int handle, const char* path, int flags, NetSdkProgressCallback cb,
                              void* user);
typedef int (*NetSDK_Ord39_t)(int handle, int flags, int wait_ms); /* reboot */
/* search: entries, second buffer, capacity, bytes returned, wait; synchronous */
typedef int (*NetSDK_Ord40_t)(void* entries, void* entries2, int capacity_bytes, int* bytes,
                              int wait_ms);

#ifdef __cplusplus
}
static_assert(sizeof(NetSdkSearchEntry) == NETSDK_SEARCH_ENTRY_BYTES);
static_assert(offsetof(NetSdkSearchEntry, ip) == 64);
static_assert(offsetof(NetSdkSearchEntry, mask) == 68);
static_assert(offsetof(NetSdkSearchEntry, gateway) == 72);
static_assert(offsetof(NetSdkSearchEntry, web_port) == 76);
static_assert(offsetof(NetSdkSearchEntry, data_port) == 80);
static_assert(offsetof(NetSdkSearchEntry, extra1) == 84);
static_assert(offsetof(NetSdkSearchEntry, extra2) == 88);
static_assert(offsetof(NetSdkSearchEntry, mac) == 109);
static_assert(sizeof(NetSdkNetworkBlock) == NETSDK_NETWORK_BLOCK_BYTES);
#endif
