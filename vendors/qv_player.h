/* QVPlayer (libQVPlayer.so): live video, snapshots, local recording and talk
 * of QV devices, by name. Results: 0 success, negative failure; OpenStream
 * gives a player port (0 or more). Callbacks run on the library's threads. */
#pragma once
#include <stdint.h>

#ifdef __cplusplus
#include <memory>
extern "C" {
#endif

/* Decoded audio of a port (16-bit mono PCM). */
typedef void (*QV_PLAYER_AudioCallback)(int port, const int16_t* samples, int count, void* user);
/* Each decoded picture of a port: 16-bit width, 16-bit height, 32-bit frame
 * number, then width * height grey values. */
typedef void (*QV_PLAYER_PictureCallback)(int port, const uint8_t* picture, int length, void* user);

#define QV_PLAYER_CALLS(X)                                                                        \
    X(int, QV_PLAYER_OpenStream,                                                                  \
      (const char* ip, int port, const char* user, const char* password, int channel,             \
       int substream, uint64_t window))                                                           \
    X(int, QV_PLAYER_CloseStream, (int player_port))                                              \
    X(int, QV_PLAYER_SetAudioCallBack, (int player_port, QV_PLAYER_AudioCallback cb, void* user)) \
    X(int, QV_PLAYER_SetPictureCallBack,                                                          \
      (int player_port, QV_PLAYER_PictureCallback cb, void* user))                                \
    /* the current picture as a BMP file image; *written gets its size */                         \
    X(int, QV_PLAYER_SnapBMP, (int player_port, uint8_t* buffer, int size, int* written))         \
    X(int, QV_PLAYER_StartRecord, (int player_port, const char* path))                            \
    X(int, QV_PLAYER_StopRecord, (int player_port))                                               \
    X(int, QV_PLAYER_StartTalk,                                                                   \
      (const char* ip, int port, const char* user, const char* password))                         \
    X(int, QV_PLAYER_StopTalk, (void))

#define QV_PLAYER_DECLARE_TYPE(ret, name, args) typedef ret(*name##_t) args;
QV_PLAYER_CALLS(QV_PLAYER_DECLARE_TYPE)
#undef QV_PLAYER_DECLARE_TYPE

#ifdef __cplusplus
}

namespace vendors {
struct QvPlayerLib {
#define QV_PLAYER_DECLARE_MEMBER(ret, name, args) name##_t name = nullptr;
    QV_PLAYER_CALLS(QV_PLAYER_DECLARE_MEMBER)
#undef QV_PLAYER_DECLARE_MEMBER
    // Loaded through VendorLibrary ("QVPlayer"); nullptr when missing.
    static std::shared_ptr<const QvPlayerLib> Load();
};
}  // namespace vendors
#endif
