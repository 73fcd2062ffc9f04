/* ZynDecodeKit: the device SDK's C interface.
 *
 * Results: every function returns a 32-bit int, as a rule 1 for success and 0
 * for failure; exceptions are noted at the function. Functions never throw
 * and never crash on null pointers, unknown ids or out-of-range channels: they
 * answer 0 (or the value noted). Every function may be called from any thread.
 *
 * Device ids are chosen by the application (DeviceLoginInfo.device_id).
 * Channels are 0..3.
 *
 * Blocking. Functions marked [request] send a request to the device and wait
 * for its answer, at most the reply time-out (3000 ms, longer where noted).
 * One request per device is outstanding at a time: a [request] function called
 * while another is waiting, or before the device is logged in, returns 0 at
 * once. [connects] marks functions that may also open a connection, which
 * waits at most the connect time-out (3000 ms). All other functions return
 * without waiting for the network.
 *
 * Callbacks run on SDK threads: the message, real-data, full-frame and
 * record-info callbacks on the network threads (messages 2, 3 and 4 also on
 * the housekeeping thread, the login messages 1, 8 and 9 on the thread inside
 * ZYNVS_Login, message 2 on the thread inside ZYNVS_Logout), the decode and
 * drawing callbacks on the channel's decode thread, the search callback on the
 * search thread. Data pointers are valid only during the call.
 *
 * Replacing a callback: when a Register function (or a new ZYNVS_QueryRecInfo)
 * returns, the callback it replaced is not running on any thread and will not
 * be called again, so its user data may be freed. Registering from inside the
 * callback being replaced returns at once instead. Register does wait for a
 * running call: do not hold a lock there that the callback takes.
 *
 * A callback should return quickly. It may call the functions that are not
 * marked [request]; a [request] function called from inside a callback of the
 * same device waits for an answer that the blocked thread itself would have
 * to deliver, so don't. */
#ifndef ZYNDECODEKIT_H
#define ZYNDECODEKIT_H

#include "zynvs_platform.h"
#include "zynvs_records.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Callbacks ------------------------------------------------------------ */

/* Session events: 1 login ok, 2 control connection gone, 3 stream of a channel
 * restored (data: channel as decimal text, 4 bytes), 4 stream connection gone
 * or a channel stalled (data: none, or the channel as text), 8 login device
 * information (88 bytes), 9 extended device information (504 bytes); as a
 * platform (the services) also 20 a party went offline, 21 a request was
 * relayed to an encoder (text "0xCODE REQUESTER"), 22 an encoder channel's
 * subscribers changed (text "CHANNEL COUNT"), on the network and housekeeping
 * threads, data zero-terminated, length counting the zero; any other
 * value is an unsolicited device message whose command code is the value. */
typedef void(ZYNVS_CALL* MessageCallback)(int device_id, int message, void* data, int length,
                                          void* user);
/* Every piece of live data: "XCXBV"/"XCXBA" prefix, fragment header, data. */
typedef void(ZYNVS_CALL* RealDataCallback)(int device_id, int channel, void* data, int length,
                                           void* user);
/* Every decoded picture; frame points to a ZynDecodedPicture and length is
 * sizeof(ZynDecodedPicture). Called on a decode thread. */
typedef void(ZYNVS_CALL* DecRealDataCallback)(unsigned int link_value, int channel, void* frame,
                                              int length, void* user);
/* Every reassembled video frame (kind 0) and audio block (kind 1). */
typedef void(ZYNVS_CALL* FullFrameDataCallback)(int device_id, int channel, void* data, int length,
                                                int kind, int frame_type, void* user);
/* Drawing callback: surface of the picture about to be shown. */
typedef ZynDrawCallback DrawOSDCallback;
/* One 144-byte record-file entry; last is 1 once all announced entries came. */
typedef void(ZYNVS_CALL* RecordInfoCallback)(void* entry, int last, void* user);
/* One LAN search datagram: command, payload length, payload (NULL when the
 * datagram was malformed), user. The payload buffer is reused: copy it. */
typedef void(ZYNVS_CALL* SearchCallback)(unsigned short command, unsigned int length,
                                         void* payload, void* user);

/* ---- Library, callbacks and services ------------------------------------- */

/* Nothing to do: the library initialises itself when loaded. Returns 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_Init(void);
/* Same as ZYNVS_Init. Returns 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_ShutDownDVR(void);
/* Stops the search and the housekeeping thread, stops every device's live
 * view, sound and talk, logs every device out and destroys it. Keep-alive does
 * not run afterwards (a later ZYNVS_Login starts it again). Blocks until done:
 * it waits for the threads it stops and for callbacks running on them. Returns
 * 1. Not from inside a callback. */
ZYNVS_API int ZYNVS_CALL ZYNVS_UnInit(void);
/* The calling thread's last operating-system error (errno); never blocks. */
ZYNVS_API int ZYNVS_CALL ZYNVS_GetLastError(void);

/* The library-wide callbacks (NULL removes one). They reach every device at
 * once, also devices already streaming. Each returns 1 once no call of the
 * replaced callback is running (see "Replacing a callback" above). */
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterMessageCallBack(MessageCallback callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterRealDataCallBack(RealDataCallback callback, void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterDecRealDataCallBack(DecRealDataCallback callback,
                                                           void* user);
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterFullFrameDataCallBack(FullFrameDataCallback callback,
                                                             void* user);
/* Also takes effect during a running search; kept across ZYNVS_StopSearch. */
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterSearchCallBack(SearchCallback callback, void* user);
/* Hands the drawing callback to the device's first channel player (runs on
 * its decode thread). Returns 1, also for an unknown id. */
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterDrawOSDCallBack(int device_id, DrawOSDCallback callback,
                                                       void* user);

/* Platform services (control, media, playback). They return at once; their
 * handlers run on the transport's I/O threads. Start: transport 1 is UDP,
 * anything else TCP; port 0 picks a free port. Returns the server's open
 * result (nonzero = listening), 0 when the service cannot be made; a second
 * start replaces and closes the running service. Stop: 1, or 0 when none
 * runs. The playback service listens (TCP) on the first call's port and
 * shows the pushed video in the window; later calls only move the window. */
ZYNVS_API int ZYNVS_CALL ZYNVS_StartCtrlService(unsigned short port, unsigned short second,
                                                int transport);
ZYNVS_API int ZYNVS_CALL ZYNVS_StopCtrlService(void);
ZYNVS_API int ZYNVS_CALL ZYNVS_StartMediaService(unsigned short port, unsigned short second,
                                                 int transport);
ZYNVS_API int ZYNVS_CALL ZYNVS_StopMediaService(void);
ZYNVS_API int ZYNVS_CALL ZYNVS_StartPlayBackService(unsigned short port, ZYNVS_WND window);
ZYNVS_API int ZYNVS_CALL ZYNVS_StopPlayBackService(void);

/* LAN search by multicast (group 224.0.1.10, requests to 6022, replies on
 * 6011). Each ZYNVS_Search opens the search when needed, sends one request and
 * returns 1 without waiting; replies reach the search callback on the search
 * thread until ZYNVS_StopSearch. ZYNVS_StopSearch returns 1 after the search
 * thread has ended (a running callback finishes first; from inside the
 * callback it does not wait for its own thread). */
ZYNVS_API int ZYNVS_CALL ZYNVS_Search(void);
ZYNVS_API int ZYNVS_CALL ZYNVS_StopSearch(void);
/* Sends the change request; 1 when sent, 0 (nothing sent) when the search is
 * not open or record is NULL. Does not wait for an answer. */
ZYNVS_API int ZYNVS_CALL ZYNVS_ModifyNetPara(ModifyNetParaRecord* record);
/* Sends the reboot request; returns 1, also when nothing is sent (search not
 * open, record NULL). Does not wait. */
ZYNVS_API int ZYNVS_CALL ZYNVS_Reboot(ModifyNetParaRecord* record);
/* Both have no effect and return 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_Reset(int value);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetLog(int first, int second);

/* ---- Devices -------------------------------------------------------------- */

/* Service-side parties (kinds 0..4): adds, or refreshes an existing id's
 * record. The SDK copies the 136 bytes. 1, or 0 for NULL / unknown kind.
 * Does not touch the network. */
ZYNVS_API int ZYNVS_CALL ZYNVS_AddDevice(DeviceLoginInfo* info);
/* Marks the device for removal and returns at once; it is destroyed within
 * one housekeeping tick (2 s). Always returns 0. */
ZYNVS_API int ZYNVS_CALL ZYNVS_DeleteDevice(int device_id);
/* Subscribes (Delete: unsubscribes) the party second_id to a channel of the
 * encoder device_id. 1 when both are registered and the first is an encoder
 * (also for a channel above 3, which changes nothing), else 0. */
ZYNVS_API int ZYNVS_CALL ZYNVS_AddTransDevice(int device_id, unsigned char channel,
                                              int second_id);
ZYNVS_API int ZYNVS_CALL ZYNVS_DeleteTransDevice(int device_id, unsigned char channel,
                                                 int second_id);
/* Stores up to 63 characters. 0 for an unknown id or NULL name. */
ZYNVS_API int ZYNVS_CALL ZYNVS_SetDeviceName(int device_id, const char* name);
/* Channel name (0..3) of an encoder; up to 63 characters. 0 for other ids,
 * channels or a NULL name. */
ZYNVS_API int ZYNVS_CALL ZYNVS_SetDevChanName(int device_id, int channel, const char* name);
/* [connects][request] Logs into a device (kind 1 direct, 4 or 6 through a
 * platform). The SDK copies the record. 1 on success (message 1, then 8 or 9,
 * delivered before it returns). A failed login keeps the device object: a
 * later ZYNVS_Login with the same id retries on it. Logging in an id that is
 * already active returns 1 at once. */
ZYNVS_API int ZYNVS_CALL ZYNVS_Login(DeviceLoginInfo* info);
/* Sends the logout without waiting for an answer and marks the device for
 * removal (torn down within one housekeeping tick). 1 when notify is set
 * (message 2 is delivered first, on the caller's thread), else 0; 0 also for
 * an unknown id, a device not logged in or one with a request outstanding. */
ZYNVS_API int ZYNVS_CALL ZYNVS_Logout(int device_id, int notify);

/* ---- Live view, sound, talk ---------------------------------------------- */

/* [connects][request] Opens a live stream: 1 once the device accepted it and
 * the stream connection is up. With ClientInfo.window set the channel is
 * shown in that window (the video parameters are asked first: a second
 * request); with window 0 data reaches only the callbacks and the recorder. */
ZYNVS_API int ZYNVS_CALL ZYNVS_RealPlay(int device_id, ClientInfo* info);
/* Sends the stop without waiting for an answer and stops the channel's player;
 * 1, or 0 when not logged in or another request is outstanding. The player's
 * decode thread is joined (a running decode or drawing callback finishes). */
ZYNVS_API int ZYNVS_CALL ZYNVS_StopRealPlay(int device_id, int channel);
/* Sends the stop of one stream kind without waiting; 1 when a control
 * connection exists. */
ZYNVS_API int ZYNVS_CALL ZYNVS_StopRealPlayEx(int device_id, int channel, int stream_kind);
/* Switches the shown stream (sub = 1); sends without waiting. Always returns 0. */
ZYNVS_API int ZYNVS_CALL ZYNVS_SetStreamType(int device_id, int channel, int sub);
/* ShowPlay starts the channel's player again (and asks for a key frame),
 * HidePlay stops it (joining its decode thread); neither waits for the
 * network. 1 when the channel exists (ShowPlay: and its player started). */
ZYNVS_API int ZYNVS_CALL ZYNVS_ShowPlay(int device_id, int channel);
ZYNVS_API int ZYNVS_CALL ZYNVS_HidePlay(int device_id, int channel);
/* Settings of the channel's local player and sound (no network): 1 when
 * applied, 0 for an unknown channel or a bad argument. */
ZYNVS_API int ZYNVS_CALL ZYNVS_ChangeWindow(int device_id, int channel, ZYNVS_WND window,
                                            int display_flag);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetVolume(int device_id, int channel, int volume);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetMute(int device_id, int channel, int mute);
/* [connects][request] Opens the channel's audio and plays it. */
ZYNVS_API int ZYNVS_CALL ZYNVS_OpenSound(int device_id, int channel);
/* [request] Closes the channel's audio; 1 when the device accepted. */
ZYNVS_API int ZYNVS_CALL ZYNVS_CloseSound(int device_id, int channel);
/* [request] Opens the channel's audio for the callbacks and the recorder only. */
ZYNVS_API int ZYNVS_CALL ZYNVS_OpenSoundVoice(int device_id, int channel, int flag);
/* Writes the last picture of the channel (BMP; PNG or JPEG by extension) on
 * the caller's thread. 1 when written. */
ZYNVS_API int ZYNVS_CALL ZYNVS_CapturePicture(int device_id, int channel, const char* path);
/* The part of the picture shown (local, no network); 0 for a NULL or empty
 * rectangle. */
ZYNVS_API int ZYNVS_CALL ZYNVS_SetSrcRect(int device_id, int channel, ZYNVS_RECT* rect);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetSrcRect(int device_id, int channel, ZYNVS_RECT* rect);
/* Records the channel's live frames to path (mode word: 0 native, 1 AVI);
 * opens the file on the caller's thread. Both always return 0. */
ZYNVS_API int ZYNVS_CALL ZYNVS_StartLoclRecord(int device_id, int channel, const char* path,
                                               int mode);
ZYNVS_API int ZYNVS_CALL ZYNVS_StopLoclRecord(int device_id, int channel);
/* Sends the key-frame request without waiting: the bytes sent (12), -1 when
 * the send failed, 0 when not logged in. */
ZYNVS_API int ZYNVS_CALL ZYNVS_MakeKeyFrame(int device_id, int channel);
/* [request] Starts talk: opens the talk stream and the capture thread, which
 * sends the microphone's audio. 1 when talk runs. */
ZYNVS_API int ZYNVS_CALL ZYNVS_StartTalk(int device_id);
/* [request] Stops talk (joins the capture thread). 1 when stopped. */
ZYNVS_API int ZYNVS_CALL ZYNVS_StopTalk(int device_id);
/* No effect; returns 1. */
ZYNVS_API int ZYNVS_CALL ZYNVS_SetTalkVolume(int device_id, int volume);

/* ---- Commands ------------------------------------------------------------- */

/* Commands marked [request] return 1 when the device answered with result 0,
 * unless noted. */

/* [request] */
ZYNVS_API int ZYNVS_CALL ZYNVS_PTZControl(int device_id, int channel, int command, int speed,
                                          int extra);
/* Generic request: sends command with data; when wait is set, waits up to
 * timeout_ms for expected_reply and copies at most buffer_size reply bytes.
 * Returns the bytes copied, 0 when not waiting or no matching reply, -1 when
 * refused (not logged in, busy). Blocks at most timeout_ms. */
ZYNVS_API int ZYNVS_CALL ZYNVS_TransInfo(int device_id, int command, int expected_reply,
                                         void* data, int length, int wait, void* reply_buffer,
                                         int buffer_size, int timeout_ms);
/* [request] At most 1396 bytes of data. Returns the device's result word, 0
 * without an answer. */
ZYNVS_API int ZYNVS_CALL ZYNVS_SerialSend(int device_id, int port, void* data, int length);
/* [request] 1 when the device answered (the answer has no result word). */
ZYNVS_API int ZYNVS_CALL ZYNVS_RebootDevice(int device_id);
/* [request] */
ZYNVS_API int ZYNVS_CALL ZYNVS_ResetParam(int device_id);
/* [request] The 72-byte upgrade request. */
ZYNVS_API int ZYNVS_CALL ZYNVS_UpdateRequest(int device_id, int ignored, void* request72);
/* [request] chunk_header: 16-bit word, then the 16-bit chunk length (at most
 * 1020). */
ZYNVS_API int ZYNVS_CALL ZYNVS_UpdateFile(int device_id, int ignored, void* chunk_header,
                                          void* chunk_data);
/* [request] each. */
ZYNVS_API int ZYNVS_CALL ZYNVS_ClearAlarm(int device_id, int channel, void* record);
ZYNVS_API int ZYNVS_CALL ZYNVS_StartRemoteManRecord(int device_id, int ignored, void* record);
ZYNVS_API int ZYNVS_CALL ZYNVS_StopRemoteManRecord(int device_id, int ignored, void* record);
/* Sends the 36-byte query and returns 1 without waiting (0 when not logged in
 * or busy); the entries arrive later through callback on a network thread.
 * The callback must not call ZYNVS_QueryRecInfo. */
ZYNVS_API int ZYNVS_CALL ZYNVS_QueryRecInfo(int device_id, void* query36,
                                            RecordInfoCallback callback, void* user);
/* [request] 152-byte record-file descriptor; waits up to 6000 ms. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlayRecInfo(int device_id, void* descriptor152);
/* Same as ZYNVS_PlayRecInfo. */
ZYNVS_API int ZYNVS_CALL ZYNVS_DownRemoteFile(int device_id, void* descriptor152);
/* Platform devices only: sends the play control of the file of the last
 * ZYNVS_PlayRecInfo to the platform (word unused) and returns 0; no wait. */
ZYNVS_API int ZYNVS_CALL ZYNVS_PlayContorl(int device_id, int word);

/* ---- Parameter groups ------------------------------------------------------
 * All [request]. A getter fills the caller's record (of the size given) only
 * on success; a setter sends exactly that many bytes. 1 success, 0 failure. */
ZYNVS_API int ZYNVS_CALL ZYNVS_GetBaseParam(int device_id, void* record88);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetBaseParam(int device_id, void* record88);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetVideoParam(int device_id, int channel, void* record92);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetVideoParam(int device_id, int channel, void* record92);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetAudioParam(int device_id, int channel, void* record4);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetAudioParam(int device_id, int channel, void* record4);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetRSParam(int device_id, int channel, void* record8);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetRSParam(int device_id, int channel, void* record8);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetMotionParam(int device_id, int channel, void* record304);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetMotionParam(int device_id, int channel, void* record304);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetSensorParam(int device_id, int channel, void* record72);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetSensorParam(int device_id, int channel, void* record72);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetMaskParam(int device_id, int channel, void* record80);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetMaskParam(int device_id, int channel, void* record80);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetVLossParam(int device_id, int channel, void* record8);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetVLossParam(int device_id, int channel, void* record8);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetRecordParam(int device_id, int channel, void* record72);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetRecordParam(int device_id, int channel, void* record72);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetNetworkParam(int device_id, void* record328);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetNetworkParam(int device_id, void* record328);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetPanParam(int device_id, int channel, void* record4);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetPanParam(int device_id, int channel, void* record4);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetCaptureParam(int device_id, int channel, void* record84);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetCaptureParam(int device_id, int channel, void* record84);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetWifiParam(int device_id, int ignored, void* record264);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetWifiParam(int device_id, int ignored, void* record264);
ZYNVS_API int ZYNVS_CALL ZYNVS_Get3GParam(int device_id, int channel, void* record25);
ZYNVS_API int ZYNVS_CALL ZYNVS_Set3GParam(int device_id, int ignored, void* record25);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetFtpParam(int device_id, int channel, void* record200);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetFtpParam(int device_id, int ignored, void* record200);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetMailParam(int device_id, int channel, void* record516);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetMailParam(int device_id, int ignored, void* record516);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetDefaultParam(int device_id, int word);
/* Platform devices only. Their two words cannot carry a record pointer in a
 * 64-bit process: they return 0 at once in this build. */
ZYNVS_API int ZYNVS_CALL ZYNVS_GetMotionParamEx(int device_id, int first, int second);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetMotionParamEx(int device_id, int first, int second);
ZYNVS_API int ZYNVS_CALL ZYNVS_GetRSParamEx(int device_id, int first, int second);
ZYNVS_API int ZYNVS_CALL ZYNVS_SetRSParamEx(int device_id, int first, int second);

#ifdef __cplusplus
}
#endif

#endif
