/* A C11 host: includes the player's header (with the SDK's, as a host that
 * uses both does) and calls the player through the shared library. */
#include <stdio.h>
#include <string.h>

#include "zynvs/ZynDecodeKit.h"
#include "zynvs/ZynPlayCtrl.h"

static int failures = 0;
#define CHECK(cond)                                                    \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            failures++;                                                \
        }                                                              \
    } while (0)

static int audio_calls = 0;
static void ZYNVS_CALL on_audio(int port, void* data, int length, void* user) {
    (void)port;
    (void)data;
    (void)length;
    (void)user;
    audio_calls++;
}

int main(void) {
    unsigned char packet[30 + 4];
    char name[260];
    int port;
    memset(packet, 0, sizeof packet);
    memcpy(packet, "XCXBV", 5);
    packet[6 + 7] = 1;
    packet[6 + 12] = 4;

    CHECK(ZYNVS_PlAY_Init() == 0);
    port = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    CHECK(port >= 1 && port <= 9999);
    CHECK(ZYNVS_PlAY_InputData(port, 0, packet, sizeof packet) == 1);
    CHECK(ZYNVS_PlAY_SetRealDataCallBackEx(port, on_audio, NULL) == 1);
    CHECK(ZYNVS_PlAY_GetFileName(port, name) == 1 && name[0] == '\0');
    CHECK(ZYNVS_PlAY_OpenFile(0, "/nonexistent/recording.zyn") == -1);
    CHECK(ZYNVS_PlAY_GetPlayTime(port) == 0);
    CHECK(ZYNVS_PlAY_GetCaps() == 0);
    CHECK(ZYNVS_PLAY_GetDeviceID(port) == 0);
    CHECK(ZYNVS_PlAY_ConvertFile("/nonexistent/a", "/nonexistent/b", 1, 0, 0) == 9999);
    CHECK(ZYNVS_PlAY_CloseStream(port) == 1);
    CHECK(ZYNVS_PlAY_CloseStream(port) == 0);
    CHECK(ZYNVS_PlAY_Destory(port) == 1);
    CHECK(ZYNVS_PlAY_UnInit() == 0);
    CHECK(audio_calls == 0);
    if (failures == 0) printf("ok\n");
    return failures == 0 ? 0 : 1;
}
