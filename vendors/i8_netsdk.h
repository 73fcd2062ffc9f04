/* I8_NetSDK: the calls the search tool makes (library libI8_NetSDK.so).
 * Discovery records arrive one per callback call on the library's thread; the
 * record is valid only during the call. */
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define I8_DISCOVERY_RECORD_BYTES 468

/* The discovery record (also the layout of the change record). */
#pragma pack(push, 1)
typedef struct I8DiscoveryRecord {
    char ip[16];
    char mask[16];
    char gateway[16];
    uint8_t reserved48[32];
    uint8_t mac[6];
    uint8_t reserved86[214];
    uint16_t data_port;
    uint16_t web_port;
    uint8_t reserved304[4];
    char identity[48];
    char user[32];
    char password[16];
    char model[32];
    uint8_t reserved436[32];
} I8DiscoveryRecord;
#pragma pack(pop)

typedef void (*I8DiscoveryCallback)(const I8DiscoveryRecord* record, void* user);

typedef int (*I8_NET_DVR_Init_t)(void);
typedef int (*I8_NET_DVR_Cleanup_t)(void);
typedef int (*I8_NET_DVR_StartDiscoveryIPC_t)(void);
typedef int (*I8_NET_DVR_StopDiscoveryIPC_t)(void);
typedef int (*I8_NET_DVR_SetDiscoveryCallBack_t)(I8DiscoveryCallback callback, void* user);
typedef int (*I8_NET_DVR_ModifyIPC_t)(const I8DiscoveryRecord* record);
/* Returns a handle of 0 or more, or -1. */
typedef int (*I8_NET_DVR_Login_t)(const char* ip, int port, const char* user, const char* password);
typedef int (*I8_NET_DVR_Logout_t)(int handle);
typedef int (*I8_NET_DVR_RebootDVR_t)(int handle);
typedef int (*I8_NET_DVR_RestoreConfig_t)(int handle);
/* Returns an upgrade handle of 0 or more, or -1. */
typedef int (*I8_NET_DVR_Upgrade_t)(int handle, const char* path);
typedef int (*I8_NET_DVR_GetUpgradeProgress_t)(int upgrade_handle); /* 0..100 */
/* 1 done, 2 upgrading, 3 failed, 4 network lost, 5 wrong language, -1 error */
typedef int (*I8_NET_DVR_GetUpgradeState_t)(int upgrade_handle);
typedef int (*I8_NET_DVR_CloseUpgradeHandle_t)(int upgrade_handle);

#ifdef __cplusplus
}
static_assert(sizeof(I8DiscoveryRecord) == I8_DISCOVERY_RECORD_BYTES);
static_assert(offsetof(I8DiscoveryRecord, mask) == 16);
static_assert(offsetof(I8DiscoveryRecord, gateway) == 32);
static_assert(offsetof(I8DiscoveryRecord, mac) == 80);
static_assert(offsetof(I8DiscoveryRecord, data_port) == 300);
static_assert(offsetof(I8DiscoveryRecord, web_port) == 302);
static_assert(offsetof(I8DiscoveryRecord, identity) == 308);
static_assert(offsetof(I8DiscoveryRecord, user) == 356);
static_assert(offsetof(I8DiscoveryRecord, password) == 388);
static_assert(offsetof(I8DiscoveryRecord, model) == 404);
#endif
