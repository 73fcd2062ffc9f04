/* ZynPlayCtrl: the player's C interface.
 *
 * The player shows live streams fed to it packet by packet and plays the
 * SDK's native recordings. Everything is organised in ports: every open
 * stream, file or display window is one port, named by a number from 1 to
 * 9999 (the lowest free number is given out). Opening functions return the
 * port number or -1.
 *
 * Results: 1 for success and 0 for failure as a rule; a function on a port
 * number that is not open does nothing and returns 0, except those marked
 * "always 1". Nothing throws or crashes on null pointers or unknown ports.
 * There are no error codes (ZYNVS_PlAY_GetLastError returns 0).
 *
 * Threads: every function may be called from any thread. One process-wide
 * lock serialises all per-port calls, so a call may wait for another port's
 * call to finish. ZYNVS_PlAY_Stop, ZYNVS_PlAY_CloseFile and the closing
 * functions block until the port's playback thread has ended, at most 6000 ms
 * (a thread still inside a host callback then ends on its own later). Other
 * functions do not wait for threads; opening a file and snapshots do their
 * file I/O on the caller's thread.
 *
 * Callbacks run on the player's threads (the port's playback thread, or the
 * decode thread for the drawing callback; the audio-data callback also on the
 * caller's thread inside ZYNVS_PlAY_InputData); data pointers are valid only
 * during the call.
 *
 * Replacing a callback: when a function that sets a callback returns, the
 * callback it replaced is not running on any thread and will not be called
 * again, so its user data may be freed (the same guarantee as the SDK's).
 * Setting it from inside the callback being replaced returns at once instead.
 *
 * Callbacks notify and return: they must not call the player's functions
 * (the call would wait for the process-wide lock, which a Stop or a change of
 * the drawing callback holds while it waits for that very callback), except
 * ZYNVS_PlAY_Stop or ZYNVS_PlAY_Destory of their own port from the playback
 * thread.
 *
 * Windows are X11 window ids (0 = none). The end-of-file notice is an X11
 * ClientMessage of type "ZYNVS_WINDOW_MESSAGE", format 32, with data.l[0] =
 * the message number and data.l[1], data.l[2] = the two parameters (the port
 * number). Plain C11. */
#ifndef ZYNPLAYCTRL_H
#define ZYNPLAYCTRL_H

#include "zynvs_platform.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Callbacks ------------------------------------------------------------ */

/* Data callbacks: port number (as recorded when the callback was set), data,
 * length in bytes, user value. */
typedef void(ZYNVS_CALL* PlayDataCallback)(int port, void* data, int length, void* user);
/* Drawing callback: the picture about to be shown (a ZynDrawSurface), its
 * size, the play channel (the port number) and the user value. */
typedef ZynDrawCallback PlayDrawCallback;

/* ---- Library -------------------------------------------------------------- */

/* Nothing to do: the port table exists from load. Returns 0. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Init(void);
/* Releases the conversion engine when there is one; ports are not touched.
 * Returns 0. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_UnInit(void);

/* ---- Opening and closing ports ------------------------------------------- */

/* Display-only port bound to window. Port number (lowest free) or -1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Create(ZYNVS_WND window);
/* Opens a recording (native "ZYNIPCFH" file, or raw frame records) for
 * playback in window (0: decode only, for snapshots and callbacks). The path
 * is copied; header and time index are read on the caller's thread. Port
 * number or -1 (no such file, unreadable). */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OpenFile(ZYNVS_WND window, const char* path);
/* Opens a stream port for ZYNVS_PlAY_InputData. The other three values are
 * ignored. Video is shown once the port has a window. Port number or -1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OpenStream(ZYNVS_WND window, int ignored1, int ignored2,
                                               int ignored3);
/* Closes and releases any port (blocks like ZYNVS_PlAY_Stop). 1, or 0 when
 * the port is not open. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_CloseStream(int port);
/* Closes and releases any port (blocks like ZYNVS_PlAY_Stop). Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Destory(int port);
/* Stops playback (blocks like ZYNVS_PlAY_Stop) and closes the file; the port
 * stays open (a later Play opens the file again by its stored name). Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_CloseFile(int port);

/* ---- Stream input --------------------------------------------------------- */

/* One stream packet as the SDK's real-data callback delivers it: 6-byte
 * prefix, 24-byte fragment header, payload. type 0 video, 1 audio. The data
 * is copied; a complete frame is queued for the decode thread (never waits
 * for decoding). 1 when the port is open (whatever became of the packet). */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_InputData(int port, int type, unsigned char* buffer,
                                              unsigned int size);

/* ---- File playback -------------------------------------------------------- */

/* Starts playback (a new playback thread) or resumes from a hold (also
 * cancelling a single step not yet taken), and returns; an old thread that
 * outlived a stop is waited for first (at most 6000 ms). A port whose file was
 * closed opens it again by its stored name.
 * Always 1, except 0 when the port has no file and none can be opened. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Play(int port, ZYNVS_WND ignored);
/* Removes the drawing callback (waiting for a running call), stops playback
 * and closes the file. Blocks until the playback thread has ended, at most
 * 6000 ms. 1, or 0 when the port is not open. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Stop(int port);
/* Toggles the hold while playing. The playback controls below only set what
 * the playback thread does next and return at once. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Pause(int port, int ignored);
/* One speed level faster (up to +5) / slower (down to -5); ends a hold. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Fast(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Slow(int port);
/* The speed level, or 0. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetSpeed(int port);
/* Stores any level unchecked. Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetSpeed(int port, int level);
/* Plays one frame, then holds. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OneByOne(int port);
/* Steps back to the previous frame, then holds. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OneByOneBack(int port);
/* Continues at percent (1..99) of the file size; 0 and 100 do nothing. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPlayPos(int port, int percent);
/* Bytes consumed as a percentage of the file size (100 at the end), or 0. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPlayPos(int port);
/* Continues at a time (seconds since 1970, 64 bits in two words) through the
 * file's time index, or proportionally without one. Times outside the
 * recording change nothing. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPlayByTime(int port, unsigned int time_low,
                                                  unsigned int time_high);
/* Current play time in seconds since 1970, or 0. */
ZYNVS_API uint64_t ZYNVS_CALL ZYNVS_PlAY_GetPlayTime(int port);
/* The same time cut to 32 bits. */
ZYNVS_API unsigned int ZYNVS_CALL ZYNVS_PlAY_GetPlayedTime(int port);
/* The end-of-file notice goes to window with message and the port number as
 * both parameters. Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetFileEndMsg(int port, ZYNVS_WND window,
                                                  unsigned int message);
/* Replaces the stored file name (used by a later reopening); an open file is
 * not affected. Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetFileName(int port, const char* path);
/* Copies the stored file name into buffer (at most 260 bytes with the
 * terminating zero; longer names are cut). Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileName(int port, char* buffer);

/* ---- Callbacks, display and snapshots ------------------------------------ */

/* Callback setters: a NULL callback leaves the stored one in place. Each
 * returns once no call of the replaced callback runs (see above). */

/* Stored when not NULL; never called. Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecCallBack(int port, PlayDataCallback callback,
                                                   void* user);
/* Called on the playback thread with the 8-byte time extension of each video
 * record that carries one (length 8). Stored when not NULL. Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetRealDataCallBack(int port, PlayDataCallback callback,
                                                        void* user);
/* Receives every audio payload (data and length) instead of the sound
 * output; on the playback thread, or the caller's thread for stream input.
 * Stored when not NULL. Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetRealDataCallBackEx(int port, PlayDataCallback callback,
                                                          void* user);
/* Drawing callback (NULL removes it), called on the decode thread for every
 * picture; ZYNVS_PlAY_Stop removes it. Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RegisterDrawOSDFuncPtr(int port, PlayDrawCallback callback,
                                                           void* user);
/* Replaces the port's window for what comes later (first stream packet, sound
 * start); the picture already shown is not moved. Always 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PLAY_ChangeWindow(int port, ZYNVS_WND window);
/* Saves the current picture (BMP; PNG or JPEG by the path's extension) on the
 * caller's thread. Always 1, whether or not a picture was written. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PLAY_CapPic(int port, const char* path, int type);

/* ---- Sound ---------------------------------------------------------------- */

/* Starts sound output (opens the audio device on the caller's thread) when
 * the port has a window and (for stream ports) has had its first video
 * packet. 1 when the port is open. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_PlaySound(int port);
/* Turns sound off unless the port is playing a file. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_StopSound(int port);
/* 0 .. 0xFFFF (linear). */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetVolume(int port, unsigned int volume);

/* ---- Conversion ------------------------------------------------------------
 * ConvertFile queues a job for the one background worker (created by the
 * first call) and returns at once: 9999, the handle of the engine, when the
 * job was queued or refused (missing source, unknown mode), 0 when the engine
 * could not be created. Modes: 1 AVI (H.264 copied from the first key frame),
 * 4 raw MPEG-2 704x576 video with MP2 audio, 5 a byte-range clip from first
 * to second percent of the source. StopConvert(9999) ends the running job and
 * empties the queue; it blocks up to 3000 ms for the worker; 1 when done, 0
 * for another handle or no engine. Any thread. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ConvertFile(const char* source, const char* target, int mode,
                                                int first, int second);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_StopConvert(int handle);

/* ---- Present for hosts written for the full interface; each does nothing
 * and returns 0. ------------------------------------------------------------ */

ZYNVS_API int ZYNVS_CALL ZYNVS_PLAY_GetDeviceID(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_AdjustWaveAudio(int port, int coefficient);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_CheckDiscontinuousFrameNum(int port, int check);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_CloseStreamEx(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ConvertToBmpFile(char* buffer, int size, int width,
                                                     int height, int type, char* path);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ConvertToJpegFile(char* buffer, int size, int width,
                                                      int height, int type, char* path);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_FreePort(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetAbsFrameNum(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetBMP(int port, unsigned char* buffer, unsigned int size,
                                           unsigned int* written);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetCaps(void);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetColor(int port, unsigned int region, int* brightness,
                                             int* contrast, int* saturation, int* hue);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetColorKey(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetCurrentFrameNum(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetCurrentFrameRate(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetDisplayBuf(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetDisplayType(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileHeadLength(void);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileSpecialAttr(int port, unsigned int* time,
                                                       unsigned int* date, unsigned int* device);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileTime(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileTotalFrames(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetJPEG(int port, unsigned char* buffer, unsigned int size,
                                            unsigned int* written);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetKeyFramePos(int port, unsigned int value,
                                                   unsigned int type, void* position);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetLastError(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetNextKeyFramePos(int port, unsigned int value,
                                                       unsigned int type, void* position);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetOriginalFrameCallBack(int port, int is_change,
                                                             int norm_speed, int need_frames,
                                                             void* callback, void* user,
                                                             int reserved1, int reserved2);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetOverlayMode(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPictureQuality(int port, int* high_quality);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPictureSize(int port, int* width, int* height);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPlayedFrames(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPlayedTimeEx(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPort(int* port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetRefValue(int port, unsigned char* buffer,
                                                unsigned int* size);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetSdkVersion(void);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetSourceBufferRemain(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetSpecialData(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetStreamOpenMode(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetThrowBFrameCallBack(int port, void* callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetTimerType(int port, unsigned int* type,
                                                 unsigned int* reserved);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetVolume(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_InputAudioData(int port, unsigned char* buffer,
                                                   unsigned int size);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_InputVideoData(int port, unsigned char* buffer,
                                                   unsigned int size);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OpenStreamEx(int port, unsigned char* header,
                                                 unsigned int header_size,
                                                 unsigned int buffer_size);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_PlaySoundShare(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RefreshPlay(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RefreshPlayEx(int port, int region);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RegisterDrawFun(int port, void* callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ResetBuffer(int port, unsigned int type);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ResetSourceBufFlag(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ResetSourceBuffer(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RigisterDrawFun(int port, void* callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetAudioCallBack(int port, void* callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetCheckWatermarkCallBack(int port, void* callback,
                                                              void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetColor(int port, unsigned int region, int brightness,
                                             int contrast, int saturation, int hue);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetCurrentFrameNum(int port, unsigned int frame);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecCBStream(int port, unsigned int stream);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecCallBackEx(int port, void* callback, void* buffer,
                                                     int size);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecCallBackMend(int port, void* callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecodeFrameType(int port, unsigned int type);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDeflash(int port, int deflash);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDisplayBuf(int port, unsigned int frames);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDisplayCallBack(int port, void* callback);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDisplayRegion(int port, unsigned int region,
                                                     ZYNVS_RECT* rect, ZYNVS_WND window,
                                                     int enable);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDisplayType(int port, int type);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetEncChangeMsg(int port, ZYNVS_WND window,
                                                    unsigned int message);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetEncTypeChangeCallBack(int port, void* callback,
                                                             void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetFileEndCallback(int port, void* callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetFileRefCallBack(int port, void* callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetGetUserDataCallBack(int port, void* callback,
                                                           void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetImageSharpen(int port, unsigned int level);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetJpegQuality(int quality);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetOverlayFlipMode(int port, int flip);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetOverlayMode(int port, int overlay,
                                                   unsigned int color_key);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPicQuality(int port, int high_quality);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPlayMode(int port, int mode);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPlayedTimeEx(int port, unsigned int time_ms);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetRefValue(int port, unsigned char* buffer,
                                                unsigned int size);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetSecretKey(int port, int type, char* key, int key_bits);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetSourceBufCallBack(int port, unsigned int threshold,
                                                         void* callback, void* user,
                                                         void* reserved);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetStreamOpenMode(int port, unsigned int mode);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetTimerType(int port, unsigned int type,
                                                 unsigned int reserved);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetVerifyCallBack(int port, unsigned int begin,
                                                      unsigned int end, void* callback,
                                                      void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_StopSoundShare(int port);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SyncToAudio(int port, int sync);
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ThrowBFrameNum(int port, unsigned int count);

#ifdef __cplusplus
}
#endif

#endif
