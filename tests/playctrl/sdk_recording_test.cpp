// A recording made by the SDK from the device emulator (through the SDK's C
// interface, as a host does) plays in the player: every recorded frame is
// handed on and decoded, the first one is a key frame, the file has no index.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include <zynvs/ZynDecodeKit.h>
#include <zynvs/ZynPlayCtrl.h>

#include "tests/playctrl/playctrl_test_util.h"
#include "tools/devsim/devsim.h"

namespace {

std::atomic<int> g_frames{0};
void ZYNVS_CALL OnFullFrame(int, int, void*, int, int kind, int, void*) {
    if (kind == 0) ++g_frames;
}

struct FileSummary {
    bool header_valid = false;
    mediafile::RecordingHeader header;
    std::vector<uint32_t> numbers;
    std::vector<uint8_t> types;
};

// Reads the recording with the reader alone, independently of a port.
FileSummary Summarise(const std::string& path) {
    FileSummary s;
    auto bytes = pc_test::ReadFile(path);
    s.header = mediafile::ParseRecordingHeader(bytes.data(), bytes.size());
    s.header_valid = s.header.valid;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return s;
    std::fseek(f, s.header_valid ? 512 : 0, SEEK_SET);
    mediafile::FileByteSource source(f);
    mediafile::RecordReader reader(source, s.header_valid ? 512 : 0);
    mediafile::MediaRecord info;
    for (;;) {
        const auto kind = reader.ReadRecord(&info, nullptr);
        if (kind == mediafile::RecordKind::kEnd) break;
        if (kind == mediafile::RecordKind::kVideo && info.complete) {
            s.numbers.push_back(zyn::wire::FragmentHeader(info.header).frame_number());
            s.types.push_back(info.header[4]);
        }
    }
    std::fclose(f);
    return s;
}

TEST(SdkRecording, PlaysEveryRecordedFrame) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    pc_test::TempDir dir;
    const std::string path = dir.Path("sdk.zyn");

    devsim::Config config;
    devsim::DeviceConfig dev;
    dev.device_id = 1;
    dev.channel_count = 1;
    dev.main = {352, 288, 25, 512, 25, 1};
    dev.audio = false;
    config.devices.push_back(dev);
    devsim::Emulator emulator(config);
    std::string error;
    ASSERT_TRUE(emulator.Start(&error)) << error;
    auto& device = emulator.device(0);

    ZYNVS_RegisterFullFrameDataCallBack(OnFullFrame, nullptr);
    DeviceLoginInfo login{};
    login.device_id = 7;
    login.device_kind = 1;
    login.channel_count = 1;
    std::snprintf(login.control_address, sizeof login.control_address, "127.0.0.1");
    login.control_port = device.control_port();
    login.stream_port = device.stream_port();
    std::memcpy(login.user_name, "admin", 5);
    std::memcpy(login.password, "admin", 5);
    ASSERT_EQ(ZYNVS_Login(&login), 1);
    ZYNVS_StartLoclRecord(7, 0, path.c_str(), 0);  // native format, before the stream
    ClientInfo ci{};
    ci.channel = 0;
    ci.request_flag = 1;
    ci.link_value = 100;
    ci.stream_port = login.stream_port;
    std::snprintf(ci.stream_address, sizeof ci.stream_address, "127.0.0.1");
    ASSERT_EQ(ZYNVS_RealPlay(7, &ci), 1);
    // About 2.5 s of video.
    ASSERT_TRUE(pc_test::WaitUntil([] { return g_frames.load() >= 62; }, 20000));
    ZYNVS_StopLoclRecord(7, 0);
    ZYNVS_StopRealPlay(7, 0);
    ZYNVS_Logout(7, 0);
    ZYNVS_RegisterFullFrameDataCallBack(nullptr, nullptr);
    emulator.Stop();

    const FileSummary file = Summarise(path);
    ASSERT_TRUE(file.header_valid);
    EXPECT_EQ(file.header.index_position, 0u);
    EXPECT_NE(file.header.end_time, file.header.start_time);
    ASSERT_GE(file.numbers.size(), 50u);
    EXPECT_EQ(file.types[0], 7) << "the SDK's recording starts with a key frame";

    const int p = ZYNVS_PlAY_OpenFile(0, path.c_str());
    ASSERT_GT(p, 0);
    auto port = pc_test::Port(p);
    EXPECT_FALSE(port->index_present());      // index position 0: no index
    EXPECT_EQ(port->picture_height(), 1080);  // the SDK writes no size
    port->set_pacing(false);
    port->video().SetQueueLimits(2000, 256 << 20, 0);
    pc_test::FrameLog log;
    log.Attach(*port);
    pc_test::NoticeRecorder notices;
    ZYNVS_PlAY_SetFileEndMsg(p, 1234, 77);
    ASSERT_EQ(ZYNVS_PlAY_Play(p, 0), 1);
    ASSERT_TRUE(port->WaitPlaybackEnded(20000));
    ASSERT_EQ(port->video().WaitIdle(20000), 1);
    const auto handed = log.frames();
    ASSERT_EQ(handed.size(), file.numbers.size());
    for (std::size_t i = 0; i < handed.size(); ++i) ASSERT_EQ(handed[i].number, file.numbers[i]);
    RenderVideoStats stats{};
    port->video().GetStats(&stats);
    EXPECT_EQ(stats.frames_decoded, file.numbers.size());
    EXPECT_EQ(stats.decode_errors, 0u);
    EXPECT_EQ(stats.width, 352);
    EXPECT_EQ(stats.height, 288);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(p), 100);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayTime(p), file.header.end_time);
    ASSERT_EQ(notices.count(), 1u);
    EXPECT_EQ(notices.notices()[0].wparam, p);
    const std::string snap = pc_test::ArtifactPath("playctrl_sdk_recording_last_frame.bmp");
    EXPECT_EQ(ZYNVS_PLAY_CapPic(p, snap.c_str(), 0), 1);
    EXPECT_GT(pc_test::ReadFile(snap).size(), 352u * 288u * 3u);
    ZYNVS_PlAY_Destory(p);
}

}  // namespace
