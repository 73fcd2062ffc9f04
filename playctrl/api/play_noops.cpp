// Exports present for hosts written for the full interface: each takes its
// arguments and returns 0 without any effect.
#include <zynvs/ZynPlayCtrl.h>

extern "C" {

ZYNVS_API int ZYNVS_CALL ZYNVS_PLAY_GetDeviceID(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_AdjustWaveAudio(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_CheckDiscontinuousFrameNum(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_CloseStreamEx(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ConvertToBmpFile(char*, int, int, int, int, char*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ConvertToJpegFile(char*, int, int, int, int, char*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_FreePort(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetAbsFrameNum(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetBMP(int, unsigned char*, unsigned int, unsigned int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetCaps(void) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetColor(int, unsigned int, int*, int*, int*, int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetColorKey(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetCurrentFrameNum(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetCurrentFrameRate(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetDisplayBuf(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetDisplayType(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileHeadLength(void) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileSpecialAttr(int, unsigned int*, unsigned int*,
                                                       unsigned int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileTime(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileTotalFrames(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetJPEG(int, unsigned char*, unsigned int, unsigned int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetKeyFramePos(int, unsigned int, unsigned int, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetLastError(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetNextKeyFramePos(int, unsigned int, unsigned int, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetOriginalFrameCallBack(int, int, int, int, void*, void*, int,
                                                             int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetOverlayMode(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPictureQuality(int, int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPictureSize(int, int*, int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPlayedFrames(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPlayedTimeEx(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPort(int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetRefValue(int, unsigned char*, unsigned int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetSdkVersion(void) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetSourceBufferRemain(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetSpecialData(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetStreamOpenMode(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetThrowBFrameCallBack(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetTimerType(int, unsigned int*, unsigned int*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetVolume(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_InputAudioData(int, unsigned char*, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_InputVideoData(int, unsigned char*, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OpenStreamEx(int, unsigned char*, unsigned int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_PlaySoundShare(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RefreshPlay(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RefreshPlayEx(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RegisterDrawFun(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ResetBuffer(int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ResetSourceBufFlag(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ResetSourceBuffer(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RigisterDrawFun(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetAudioCallBack(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetCheckWatermarkCallBack(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetColor(int, unsigned int, int, int, int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetCurrentFrameNum(int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecCBStream(int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecCallBackEx(int, void*, void*, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecCallBackMend(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecodeFrameType(int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDeflash(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDisplayBuf(int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDisplayCallBack(int, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDisplayRegion(int, unsigned int, ZYNVS_RECT*, ZYNVS_WND,
                                                     int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDisplayType(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetEncChangeMsg(int, ZYNVS_WND, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetEncTypeChangeCallBack(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetFileEndCallback(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetFileRefCallBack(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetGetUserDataCallBack(int, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetImageSharpen(int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetJpegQuality(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetOverlayFlipMode(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetOverlayMode(int, int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPicQuality(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPlayMode(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPlayedTimeEx(int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetRefValue(int, unsigned char*, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetSecretKey(int, int, char*, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetSourceBufCallBack(int, unsigned int, void*, void*, void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetStreamOpenMode(int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetTimerType(int, unsigned int, unsigned int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetVerifyCallBack(int, unsigned int, unsigned int, void*,
                                                      void*) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_StopSoundShare(int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SyncToAudio(int, int) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ThrowBFrameNum(int, unsigned int) {
    return 0;
}

}  // extern "C"
