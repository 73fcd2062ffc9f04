// Port numbering, lifetimes, results for unknown ports, the do-nothing
// exports, callback setters and the decoder instance of stream ports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <thread>

#include <zynvs/ZynPlayCtrl.h>

#include "playctrl/hi264_decoder.h"
#include "tests/playctrl/playctrl_test_util.h"

namespace {

using playctrl::PortTable;

class PortTest : public ::testing::Test {
protected:
    void SetUp() override { PortTable::Instance().Clear(); }
    void TearDown() override { PortTable::Instance().Clear(); }
    pc_test::TempDir dir_;
};

TEST_F(PortTest, LowestFreeNumberIsGivenOut) {
    const int a = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(ZYNVS_PlAY_Destory(a), 1);
    EXPECT_EQ(ZYNVS_PlAY_OpenStream(0, 0, 0, 0), 1);  // reused
    EXPECT_EQ(ZYNVS_PlAY_OpenStream(0, 0, 0, 0), 2);
    EXPECT_EQ(ZYNVS_PlAY_Create(0), 3);
    EXPECT_EQ(ZYNVS_PlAY_CloseStream(2), 1);
    // With 1 and 3 open the next is 2, then 4.
    EXPECT_EQ(ZYNVS_PlAY_OpenStream(0, 0, 0, 0), 2);
    EXPECT_EQ(ZYNVS_PlAY_OpenStream(0, 0, 0, 0), 4);
    EXPECT_EQ(PortTable::Instance().size(), 4u);
}

TEST_F(PortTest, ClosingUnknownPorts) {
    EXPECT_EQ(ZYNVS_PlAY_Destory(77), 1);
    EXPECT_EQ(ZYNVS_PlAY_CloseFile(77), 1);
    EXPECT_EQ(ZYNVS_PlAY_CloseStream(77), 0);
    EXPECT_EQ(ZYNVS_PlAY_CloseStream(-1), 0);
    EXPECT_EQ(ZYNVS_PlAY_CloseStream(0), 0);
    const int p = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    EXPECT_EQ(ZYNVS_PlAY_CloseStream(p), 1);
    EXPECT_EQ(ZYNVS_PlAY_CloseStream(p), 0);  // already gone
}

TEST_F(PortTest, UnknownPortResults) {
    const int n = 4242;
    unsigned char buf[64] = {};
    char name[300] = "untouched";
    // 0 when the port is not open.
    EXPECT_EQ(ZYNVS_PlAY_InputData(n, 0, buf, sizeof buf), 0);
    EXPECT_EQ(ZYNVS_PlAY_Stop(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_Pause(n, 0), 0);
    EXPECT_EQ(ZYNVS_PlAY_Fast(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_Slow(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_GetSpeed(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_OneByOne(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_OneByOneBack(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_SetPlayPos(n, 50), 0);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(n, 5, 0), 0);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayTime(n), 0u);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayedTime(n), 0u);
    EXPECT_EQ(ZYNVS_PlAY_PlaySound(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_StopSound(n), 0);
    EXPECT_EQ(ZYNVS_PlAY_SetVolume(n, 100), 0);
    // 1 in every case.
    EXPECT_EQ(ZYNVS_PlAY_Play(n, 0), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetSpeed(n, 3), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetFileEndMsg(n, 5, 6), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetFileName(n, "x"), 1);
    EXPECT_EQ(ZYNVS_PlAY_GetFileName(n, name), 1);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(ZYNVS_PlAY_SetDecCallBack(n, nullptr, nullptr), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetRealDataCallBack(n, nullptr, nullptr), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetRealDataCallBackEx(n, nullptr, nullptr), 1);
    EXPECT_EQ(ZYNVS_PlAY_RegisterDrawOSDFuncPtr(n, nullptr, nullptr), 1);
    EXPECT_EQ(ZYNVS_PLAY_ChangeWindow(n, 9), 1);
    const std::string pic = dir_.Path("nothing.bmp");
    EXPECT_EQ(ZYNVS_PLAY_CapPic(n, pic.c_str(), 0), 1);
    EXPECT_TRUE(pc_test::ReadFile(pic).empty());  // nothing saved
    EXPECT_EQ(PortTable::Instance().size(), 0u);
}

TEST_F(PortTest, NullArgumentsAreAnswered) {
    const int p = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    EXPECT_EQ(ZYNVS_PlAY_InputData(p, 0, nullptr, 100), 1);
    EXPECT_EQ(ZYNVS_PlAY_InputData(p, 1, nullptr, 0), 1);
    EXPECT_EQ(ZYNVS_PlAY_GetFileName(p, nullptr), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetFileName(p, nullptr), 1);
    EXPECT_EQ(ZYNVS_PLAY_CapPic(p, nullptr, 0), 1);
    EXPECT_EQ(ZYNVS_PlAY_OpenFile(0, nullptr), -1);
    EXPECT_EQ(ZYNVS_PlAY_OpenFile(0, ""), -1);
}

TEST_F(PortTest, OpeningFailuresLeaveNoPort) {
    EXPECT_EQ(ZYNVS_PlAY_OpenFile(0, dir_.Path("missing.zyn").c_str()), -1);
    EXPECT_EQ(ZYNVS_PlAY_OpenFile(0, dir_.dir().c_str()), -1);  // a folder
    const int before = playctrl::Hi264DecLiveInstances();
    playctrl::Hi264DecFailNextCreates(1);
    EXPECT_EQ(ZYNVS_PlAY_OpenStream(0, 0, 0, 0), -1);
    EXPECT_EQ(playctrl::Hi264DecLiveInstances(), before);
    EXPECT_EQ(PortTable::Instance().size(), 0u);
    EXPECT_EQ(ZYNVS_PlAY_OpenStream(0, 0, 0, 0), 1);  // the number was not used up
}

TEST_F(PortTest, AllNumbersTaken) {
    auto filler =
        std::make_shared<playctrl::CImageDraw>(playctrl::CImageDraw::Kind::kStream, 0, nullptr);
    for (int n = 1; n <= 9999; ++n) PortTable::Instance().AddAs(n, filler);
    EXPECT_EQ(PortTable::Instance().LowestFreeNumber(), -1);
    const int before = playctrl::Hi264DecLiveInstances();
    EXPECT_EQ(ZYNVS_PlAY_OpenStream(0, 0, 0, 0), -1);
    EXPECT_EQ(playctrl::Hi264DecLiveInstances(), before);  // the refused port was destroyed
    pc_test::TempDir d;
    const std::string path = d.Path("r.zyn");
    ASSERT_TRUE(pc_test::WriteFile(path, pc_test::FillerPayload(100)));
    EXPECT_EQ(ZYNVS_PlAY_OpenFile(0, path.c_str()), -1);
    EXPECT_EQ(ZYNVS_PlAY_Create(0), -1);
    PortTable::Instance().Remove(5000);
    EXPECT_EQ(ZYNVS_PlAY_OpenStream(0, 0, 0, 0), 5000);
}

TEST_F(PortTest, ConcurrentOpeningsGetDistinctNumbers) {
    constexpr int kThreads = 4, kEach = 20;
    std::vector<std::vector<int>> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) got[t].push_back(ZYNVS_PlAY_OpenStream(0, 0, 0, 0));
        });
    }
    for (auto& th : threads) th.join();
    std::set<int> all;
    for (const auto& v : got) all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(*all.begin(), 1);
    EXPECT_EQ(*all.rbegin(), kThreads * kEach);
}

TEST_F(PortTest, StreamPortsOwnOneDecoderInstance) {
    const int base = playctrl::Hi264DecLiveInstances();
    const int s1 = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    const int s2 = ZYNVS_PlAY_OpenStream(0, 1, 2, 3);
    const int d = ZYNVS_PlAY_Create(0);
    EXPECT_EQ(playctrl::Hi264DecLiveInstances(), base + 2);
    EXPECT_NE(pc_test::Port(s1)->decoder_handle(), nullptr);
    EXPECT_EQ(pc_test::Port(d)->decoder_handle(), nullptr);
    ZYNVS_PlAY_CloseStream(s1);
    EXPECT_EQ(playctrl::Hi264DecLiveInstances(), base + 1);
    ZYNVS_PlAY_Destory(s2);
    ZYNVS_PlAY_Destory(d);
    EXPECT_EQ(playctrl::Hi264DecLiveInstances(), base);
    const Hi264DecAttr a = playctrl::StreamPortDecoderAttr();
    EXPECT_EQ(a.picture_width_mb, 90u);
    EXPECT_EQ(a.picture_height_mb, 72u);
    EXPECT_EQ(a.buffer_count, 10u);
    EXPECT_EQ(a.work_mode, 1u);
    EXPECT_EQ(a.stream_input_type, 0u);
    EXPECT_EQ(Hi264DecCreate(nullptr), nullptr);
    Hi264DecDestroy(nullptr);
}

TEST_F(PortTest, AfterCloseFileThePortStillAnswers) {
    const std::string path = dir_.Path("r.zyn");
    pc_test::RecordingBuilder b;
    b.Header(1000, 1001);
    for (uint32_t i = 0; i < 5; ++i)
        b.Video(pc_test::Frame(i, 7, 1000, static_cast<uint16_t>(i * 40)));
    ASSERT_TRUE(pc_test::WriteFile(path, b.bytes()));
    const int p = ZYNVS_PlAY_OpenFile(0, path.c_str());
    ASSERT_GT(p, 0);
    pc_test::Port(p)->set_pacing(false);
    ASSERT_EQ(ZYNVS_PlAY_Play(p, 0), 1);
    ASSERT_TRUE(pc_test::WaitUntil([&] { return ZYNVS_PlAY_GetPlayPos(p) == 100; }));
    EXPECT_EQ(ZYNVS_PlAY_CloseFile(p), 1);
    EXPECT_FALSE(pc_test::Port(p)->file_open());
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(p), 100);
    EXPECT_EQ(ZYNVS_PlAY_Destory(p), 1);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(p), 0);
}

TEST_F(PortTest, FileNameIsStoredAndCopied) {
    const std::string path = dir_.Path("r.zyn");
    ASSERT_TRUE(pc_test::WriteFile(path, pc_test::FillerPayload(10)));
    const int p = ZYNVS_PlAY_OpenFile(0, path.c_str());
    ASSERT_GT(p, 0);
    char buf[300];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(ZYNVS_PlAY_GetFileName(p, buf), 1);
    EXPECT_EQ(path, buf);
    const std::string longer(400, 'n');
    ZYNVS_PlAY_SetFileName(p, longer.c_str());
    std::memset(buf, 'x', sizeof buf);
    ZYNVS_PlAY_GetFileName(p, buf);
    EXPECT_EQ(std::strlen(buf), 259u);           // cut to 260 bytes with the zero
    EXPECT_EQ(buf[260], 'x');                    // nothing written beyond
    EXPECT_TRUE(pc_test::Port(p)->file_open());  // the open file is not affected
    const int s = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    ZYNVS_PlAY_GetFileName(s, buf);
    EXPECT_STREQ(buf, "");
}

int g_calls_a = 0, g_calls_b = 0;
void ZYNVS_CALL CallbackA(int, void*, int, void*) {
    ++g_calls_a;
}
void ZYNVS_CALL CallbackB(int, void*, int, void*) {
    ++g_calls_b;
}

TEST_F(PortTest, NullCallbackKeepsTheStoredOne) {
    // A file with one video record carrying a time extension and one audio
    // record: the real-data and the audio-data callback fire once each.
    const std::string path = dir_.Path("cb.zyn");
    pc_test::RecordingBuilder b;
    b.Header(1000, 1001);
    pc_test::VideoRecord v = pc_test::Frame(0);
    v.extension = true;
    v.payload = pc_test::FillerPayload(50);
    b.Video(v);
    b.Audio(1, pc_test::FillerPayload(84));
    ASSERT_TRUE(pc_test::WriteFile(path, b.bytes()));
    for (int which = 0; which < 3; ++which) {
        g_calls_a = g_calls_b = 0;
        const int p = ZYNVS_PlAY_OpenFile(0, path.c_str());
        pc_test::Port(p)->set_pacing(false);
        if (which == 0) {
            ZYNVS_PlAY_SetRealDataCallBack(p, CallbackA, nullptr);
            ZYNVS_PlAY_SetRealDataCallBack(p, nullptr, nullptr);
        } else if (which == 1) {
            ZYNVS_PlAY_SetRealDataCallBackEx(p, CallbackA, nullptr);
            ZYNVS_PlAY_SetRealDataCallBackEx(p, nullptr, nullptr);
        } else {
            ZYNVS_PlAY_SetDecCallBack(p, CallbackB, nullptr);  // never called
            ZYNVS_PlAY_SetDecCallBack(p, nullptr, nullptr);
        }
        ZYNVS_PlAY_Play(p, 0);
        ASSERT_TRUE(pc_test::Port(p)->WaitPlaybackEnded(10000));
        EXPECT_EQ(g_calls_a, which < 2 ? 1 : 0) << which;
        EXPECT_EQ(g_calls_b, 0);
        ZYNVS_PlAY_Destory(p);
    }
}

TEST_F(PortTest, DoNothingExportsAndConversionHandles) {
    int i = 7;
    unsigned int u = 7;
    unsigned char bytes[16] = {};
    char text[16] = "abc";
    ZYNVS_RECT r{};
    EXPECT_EQ(ZYNVS_PlAY_Init(), 0);
    EXPECT_EQ(ZYNVS_PlAY_UnInit(), 0);
    // Without an engine there is nothing to stop; a job for a missing source
    // creates the engine and is refused inside it (still the handle 9999).
    EXPECT_EQ(ZYNVS_PlAY_StopConvert(9999), 0);
    EXPECT_EQ(ZYNVS_PlAY_ConvertFile("/nonexistent/a", "/nonexistent/b", 5, 10, 20), 9999);
    EXPECT_EQ(ZYNVS_PlAY_StopConvert(1), 0);
    EXPECT_EQ(ZYNVS_PlAY_StopConvert(9999), 1);
    EXPECT_EQ(ZYNVS_PlAY_UnInit(), 0);
    EXPECT_EQ(ZYNVS_PlAY_StopConvert(9999), 0);
    const int p = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    for (int port : {p, 0, -5, 12345}) {
        int sum = 0;
        sum |= ZYNVS_PLAY_GetDeviceID(port);
        sum |= ZYNVS_PlAY_AdjustWaveAudio(port, 3);
        sum |= ZYNVS_PlAY_CheckDiscontinuousFrameNum(port, 1);
        sum |= ZYNVS_PlAY_CloseStreamEx(port);
        sum |= ZYNVS_PlAY_ConvertToBmpFile(text, 3, 1, 1, 0, text);
        sum |= ZYNVS_PlAY_ConvertToJpegFile(nullptr, 0, 0, 0, 0, nullptr);
        sum |= ZYNVS_PlAY_FreePort(port);
        sum |= ZYNVS_PlAY_GetAbsFrameNum(port);
        sum |= ZYNVS_PlAY_GetBMP(port, bytes, sizeof bytes, &u);
        sum |= ZYNVS_PlAY_GetCaps();
        sum |= ZYNVS_PlAY_GetColor(port, 0, &i, &i, nullptr, &i);
        sum |= ZYNVS_PlAY_GetColorKey(port);
        sum |= ZYNVS_PlAY_GetCurrentFrameNum(port);
        sum |= ZYNVS_PlAY_GetCurrentFrameRate(port);
        sum |= ZYNVS_PlAY_GetDisplayBuf(port);
        sum |= ZYNVS_PlAY_GetDisplayType(port);
        sum |= ZYNVS_PlAY_GetFileHeadLength();
        sum |= ZYNVS_PlAY_GetFileSpecialAttr(port, &u, nullptr, &u);
        sum |= ZYNVS_PlAY_GetFileTime(port);
        sum |= ZYNVS_PlAY_GetFileTotalFrames(port);
        sum |= ZYNVS_PlAY_GetJPEG(port, nullptr, 0, nullptr);
        sum |= ZYNVS_PlAY_GetKeyFramePos(port, 1, 2, bytes);
        sum |= ZYNVS_PlAY_GetLastError(port);
        sum |= ZYNVS_PlAY_GetNextKeyFramePos(port, 1, 2, nullptr);
        sum |= ZYNVS_PlAY_GetOriginalFrameCallBack(port, 1, 2, 3, nullptr, nullptr, 4, 5);
        sum |= ZYNVS_PlAY_GetOverlayMode(port);
        sum |= ZYNVS_PlAY_GetPictureQuality(port, &i);
        sum |= ZYNVS_PlAY_GetPictureSize(port, &i, nullptr);
        sum |= ZYNVS_PlAY_GetPlayedFrames(port);
        sum |= ZYNVS_PlAY_GetPlayedTimeEx(port);
        sum |= ZYNVS_PlAY_GetPort(&i);
        sum |= ZYNVS_PlAY_GetRefValue(port, bytes, &u);
        sum |= ZYNVS_PlAY_GetSdkVersion();
        sum |= ZYNVS_PlAY_GetSourceBufferRemain(port);
        sum |= ZYNVS_PlAY_GetSpecialData(port);
        sum |= ZYNVS_PlAY_GetStreamOpenMode(port);
        sum |= ZYNVS_PlAY_GetThrowBFrameCallBack(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_GetTimerType(port, &u, &u);
        sum |= ZYNVS_PlAY_GetVolume(port);
        sum |= ZYNVS_PlAY_InputAudioData(port, bytes, sizeof bytes);
        sum |= ZYNVS_PlAY_InputVideoData(port, nullptr, 100);
        sum |= ZYNVS_PlAY_OpenStreamEx(port, bytes, 4, 1000);
        sum |= ZYNVS_PlAY_PlaySoundShare(port);
        sum |= ZYNVS_PlAY_RefreshPlay(port);
        sum |= ZYNVS_PlAY_RefreshPlayEx(port, 1);
        sum |= ZYNVS_PlAY_RegisterDrawFun(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_ResetBuffer(port, 1);
        sum |= ZYNVS_PlAY_ResetSourceBufFlag(port);
        sum |= ZYNVS_PlAY_ResetSourceBuffer(port);
        sum |= ZYNVS_PlAY_RigisterDrawFun(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetAudioCallBack(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetCheckWatermarkCallBack(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetColor(port, 0, 1, 2, 3, 4);
        sum |= ZYNVS_PlAY_SetCurrentFrameNum(port, 10);
        sum |= ZYNVS_PlAY_SetDecCBStream(port, 1);
        sum |= ZYNVS_PlAY_SetDecCallBackEx(port, nullptr, bytes, 16);
        sum |= ZYNVS_PlAY_SetDecCallBackMend(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetDecodeFrameType(port, 1);
        sum |= ZYNVS_PlAY_SetDeflash(port, 1);
        sum |= ZYNVS_PlAY_SetDisplayBuf(port, 10);
        sum |= ZYNVS_PlAY_SetDisplayCallBack(port, nullptr);
        sum |= ZYNVS_PlAY_SetDisplayRegion(port, 0, &r, 0, 1);
        sum |= ZYNVS_PlAY_SetDisplayType(port, 1);
        sum |= ZYNVS_PlAY_SetEncChangeMsg(port, 0, 1);
        sum |= ZYNVS_PlAY_SetEncTypeChangeCallBack(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetFileEndCallback(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetFileRefCallBack(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetGetUserDataCallBack(port, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetImageSharpen(port, 2);
        sum |= ZYNVS_PlAY_SetJpegQuality(80);
        sum |= ZYNVS_PlAY_SetOverlayFlipMode(port, 1);
        sum |= ZYNVS_PlAY_SetOverlayMode(port, 1, 0xFF00FF);
        sum |= ZYNVS_PlAY_SetPicQuality(port, 1);
        sum |= ZYNVS_PlAY_SetPlayMode(port, 1);
        sum |= ZYNVS_PlAY_SetPlayedTimeEx(port, 1000);
        sum |= ZYNVS_PlAY_SetRefValue(port, bytes, 16);
        sum |= ZYNVS_PlAY_SetSecretKey(port, 1, text, 128);
        sum |= ZYNVS_PlAY_SetSourceBufCallBack(port, 10, nullptr, nullptr, nullptr);
        sum |= ZYNVS_PlAY_SetStreamOpenMode(port, 1);
        sum |= ZYNVS_PlAY_SetTimerType(port, 1, 0);
        sum |= ZYNVS_PlAY_SetVerifyCallBack(port, 0, 10, nullptr, nullptr);
        sum |= ZYNVS_PlAY_StopSoundShare(port);
        sum |= ZYNVS_PlAY_SyncToAudio(port, 1);
        sum |= ZYNVS_PlAY_ThrowBFrameNum(port, 2);
        EXPECT_EQ(sum, 0) << "port " << port;
    }
    EXPECT_EQ(i, 7);  // nothing was written through the pointers
    EXPECT_EQ(u, 7u);
    EXPECT_EQ(PortTable::Instance().size(), 1u);
}

}  // namespace
