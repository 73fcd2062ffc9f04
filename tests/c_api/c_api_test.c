/* A C11 host: includes the SDK header and calls a few exports. */
#include <stdio.h>
#include <string.h>

#include "zynvs/ZynDecodeKit.h"
#include "zynvs/zynvs_commands.h"

static int failures = 0;
#define CHECK(cond)                                              \
    do {                                                         \
        if (!(cond)) {                                           \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            failures++;                                          \
        }                                                        \
    } while (0)

static void ZYNVS_CALL on_message(int id, int msg, void* data, int len, void* user) {
    (void)id; (void)msg; (void)data; (void)len; (void)user;
}

int main(void) {
    DeviceLoginInfo info;
    ClientInfo client;
    ZYNVS_RECT rect;
    unsigned char record[600];
    memset(&info, 0, sizeof info);
    memset(&client, 0, sizeof client);

    CHECK(sizeof(DeviceLoginInfo) == 136);
    CHECK(sizeof(ClientInfo) == 68);
    CHECK(sizeof(StreamRequest) == 16);
    CHECK(sizeof(FrameFragmentHeader) == 24);
    CHECK(sizeof(ModifyNetParaRecord) == 176);
    CHECK(ZYNVS_REPLY(ZYN_CMD_LOGIN) == ZYN_CMD_LOGIN_REPLY);

    CHECK(ZYNVS_Init() == 1);
    CHECK(ZYNVS_ShutDownDVR() == 1);
    CHECK(ZYNVS_RegisterMessageCallBack(on_message, NULL) == 1);
    CHECK(ZYNVS_SetTalkVolume(1, 5) == 1);
    CHECK(ZYNVS_Reset(0) == 1);
    CHECK(ZYNVS_GetLog(0, 0) == 1);

    /* Null records and unknown ids. */
    CHECK(ZYNVS_Login(NULL) == 0);
    CHECK(ZYNVS_AddDevice(NULL) == 0);
    CHECK(ZYNVS_RealPlay(99, NULL) == 0);
    CHECK(ZYNVS_RealPlay(99, &client) == 0);
    CHECK(ZYNVS_GetVideoParam(99, 0, record) == 0);
    CHECK(ZYNVS_GetVideoParam(99, 0, NULL) == 0);
    CHECK(ZYNVS_GetSrcRect(99, 0, &rect) == 0);
    CHECK(ZYNVS_TransInfo(99, 0x0501, 0x8501, NULL, 0, 1, record, 10, 100) == 0);
    CHECK(ZYNVS_DeleteDevice(99) == 0);
    CHECK(ZYNVS_RegisterDrawOSDCallBack(99, NULL, NULL) == 1);
    CHECK(ZYNVS_SetStreamType(99, 0, 1) == 0);
    CHECK(ZYNVS_ModifyNetPara(NULL) == 0);
    CHECK(ZYNVS_Reboot(NULL) == 1);

    /* Kinds that no login class serves create nothing. */
    info.device_id = 7;
    info.device_kind = 2;
    CHECK(ZYNVS_Login(&info) == 0);
    CHECK(ZYNVS_SetDeviceName(7, "x") == 0);

    /* A service-side party can be named but serves no per-device export. */
    CHECK(ZYNVS_AddDevice(&info) == 1);
    CHECK(ZYNVS_SetDeviceName(7, "party") == 1);
    CHECK(ZYNVS_SetDeviceName(7, NULL) == 0);
    CHECK(ZYNVS_PTZControl(7, 0, 1, 1, 0) == 0);

    CHECK(ZYNVS_UnInit() == 1);
    CHECK(ZYNVS_SetDeviceName(7, "gone") == 0);
    if (failures == 0) printf("C host: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
