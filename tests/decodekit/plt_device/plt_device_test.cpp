// The platform-attached device (type 4) against the emulator in its platform
// role, with the registry in-process and a 20 ms tick: the login forms and
// the token they renew, stalls and reconnection, the platform ending the
// session, the pass-through id and recording.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/video_plt_device.h"
#include "tests/decodekit/sdk_support/sdk_test_util.h"
#include "zynvs/wire/param_groups.h"

namespace sdk_test {
namespace {

const std::string kToken = "zyn-platform-token-0123456789abc";

class PlatformDevice : public ::testing::Test {
protected:
    void Start(uint32_t id, std::size_t login_reply_bytes = 124, int channels = 2) {
        auto d = SmallDevice(id, channels);
        d.platform.enabled = true;
        d.platform.token = kToken;
        d.platform.login_reply_bytes = login_reply_bytes;
        devsim::Config c;
        c.devices = {d};
        c.keep_sent_frames = true;
        emu_ = StartEmulator(std::move(c));
        ASSERT_TRUE(emu_);
        CDeviceManage::Options o;
        o.tick_ms = 20;
        o.query_screen_saver = false;
        reg_ = std::make_unique<CDeviceManage>(std::move(o));
        reg_->SetMessageCallback(&MessageRecorder::Callback, &msgs_);
        reg_->SetFullFrameCallback(&MediaRecorder::FullCallback, &media_);
        reg_->SetRealDataCallback(&MediaRecorder::RealCallback, &media_);
    }
    void TearDown() override {
        reg_.reset();
        emu_.reset();
    }
    // Logs in as platform device `id`; the device object, or null.
    std::shared_ptr<CVideoPltDevice> Login(int id) {
        DeviceLoginInfo rec = LoginFor(emu_->device(0), id);
        rec.device_kind = 4;
        std::memcpy(rec.platform_data, kToken.data(), kToken.size());
        if (reg_->Login(&rec) != 1) return nullptr;
        return std::dynamic_pointer_cast<CVideoPltDevice>(reg_->Find(id));
    }
    bool ChannelText(const Message& m, int message, const char* text) {
        return m.message == message && m.length == 4 &&
               std::string(reinterpret_cast<const char*>(m.data.data())) == text;
    }
    devsim::Device& Dev() { return emu_->device(0); }

    MessageRecorder msgs_;
    MediaRecorder media_;
    std::unique_ptr<devsim::Emulator> emu_;
    std::unique_ptr<CDeviceManage> reg_;
};

// The login payload, the answer forms and the token the next request carries.
TEST_F(PlatformDevice, LoginFormsAndTheRenewedTokenInTheNextParameterRequest) {
    // Answers of 32 bytes (short) and 60 bytes (cut before the token) leave
    // the token alone; 84 bytes and more renew it. Message 0x8101 carries
    // what the answer holds after its result, at most 120 bytes.
    struct Case {
        int id;
        std::size_t reply_bytes;
        std::size_t payload_bytes;
        int info_bytes;  // -1: no message 0x8101
    } cases[] = {{5, 124, 40, 120}, {3000, 124, 128, 120}, {6, 32, 40, -1},
                 {7, 60, 40, 56},   {8, 84, 40, 80},       {9, 300, 40, 120}};
    for (const Case& c : cases) {
        SCOPED_TRACE("device id " + std::to_string(c.id) + ", answer of " +
                     std::to_string(c.reply_bytes));
        Start(static_cast<uint32_t>(c.id), c.reply_bytes);
        auto dev = Login(c.id);
        ASSERT_TRUE(dev);
        auto login = emu_->log().WaitForCommand(0x0101, 1000);
        ASSERT_TRUE(login);
        EXPECT_EQ(login->second_word, c.id & 0xFFFF);
        ASSERT_EQ(login->payload.size(), c.payload_bytes);
        const uint8_t* p = login->payload.data();
        EXPECT_EQ(p[5], 2);
        if (c.payload_bytes == 40) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 8)), "admin");
            EXPECT_EQ(Bytes(p + 24, p + 40), Bytes(kToken.begin(), kToken.begin() + 16));
        } else {
            EXPECT_EQ(Bytes(p + 8, p + 16), Bytes(8, 0)) << "no user name";
            EXPECT_EQ(Bytes(p + 24, p + 40), Bytes(16, 0)) << "no token head";
            EXPECT_EQ(Bytes(p + 40, p + 72), Bytes(kToken.begin(), kToken.end()));
            EXPECT_EQ(Bytes(p + 72, p + 128), Bytes(56, 0));
        }
        ASSERT_TRUE(msgs_.WaitFor(c.id, 1, 1000));
        uint8_t token[32];
        dev->Token(token);
        auto info = msgs_.WaitFor(c.id, 0x8101, 0);
        if (c.info_bytes < 0) {
            EXPECT_FALSE(info);
        } else {
            ASSERT_TRUE(info);
            EXPECT_EQ(info->length, c.info_bytes);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(info->data.data())), "ZynPlatform");
        }
        if (c.reply_bytes < 84) {
            EXPECT_EQ(Bytes(token, token + 32), Bytes(kToken.begin(), kToken.end()));
        } else {
            EXPECT_NE(Bytes(token, token + 16), Bytes(kToken.begin(), kToken.begin() + 16));
            EXPECT_EQ(Bytes(token + 16, token + 32), Bytes(kToken.begin() + 16, kToken.end()));
        }
        // The platform refuses a wrong token, so success proves the new one.
        uint8_t record[92] = {};
        ASSERT_EQ(dev->GetParam(static_cast<int>(zyn::wire::ParamGroup::kVideo), 1, record), 1);
        auto get = emu_->log().WaitForCommand(0x0503, 1000);
        ASSERT_TRUE(get);
        EXPECT_EQ(get->second_word, 1);
        ASSERT_EQ(get->payload.size(), 36u);
        EXPECT_EQ(get->payload[0], 1);
        EXPECT_EQ(Bytes(get->payload.begin() + 4, get->payload.end()), Bytes(token, token + 32));
        EXPECT_EQ(Bytes(record, record + 92), Dev().Param(0x0503, 1));
        const Bytes set_record = Pattern(92, 7);
        ASSERT_EQ(
            dev->SetParam(static_cast<int>(zyn::wire::ParamGroup::kVideo), 1, set_record.data()),
            1);
        EXPECT_EQ(Dev().Param(0x0503, 1), set_record);
        // PTZ and talk carry the token too (the platform ignores PTZ without it).
        ASSERT_EQ(dev->PTZControl(1, 21, 5, 0), 1);
        EXPECT_TRUE(WaitUntil([&] { return Dev().PtzCommands().size() == 1; }, 1000));
        EXPECT_EQ(dev->StartTalk(), 1);
        EXPECT_EQ(dev->TalkGranted(), 1);
        EXPECT_EQ(dev->StopTalk(0), 1);
        TearDown();
    }
}

// Channel 0 closed, channel 1 stalled: message 4 then message 3 with "1", a
// fresh stream connection and the video flowing again.
TEST_F(PlatformDevice, StalledChannelIsReconnectedWhileTheClosedOneIsLeftAlone) {
    Start(7);
    auto dev = Login(7);
    ASSERT_TRUE(dev);
    ClientInfo req = DataRequest(1);
    ASSERT_EQ(dev->RealPlay(&req), 1);
    auto start = emu_->log().WaitForCommand(0x0541, 1000);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->second_word, 1);
    ASSERT_EQ(start->payload.size(), 48u);
    EXPECT_EQ(start->payload[1], 1);
    ASSERT_TRUE(media_.WaitFull(7, 1, 5, 5000));

    const std::size_t from = msgs_.Size();
    const uint64_t seq = emu_->log().NextSequence();
    Dev().StallChannel(1, true);
    std::size_t lost_at = 0;
    ASSERT_TRUE(msgs_.WaitFor([&](const Message& m) { return ChannelText(m, 4, "1"); }, 5000, from,
                              &lost_at));
    ASSERT_TRUE(
        msgs_.WaitFor([&](const Message& m) { return ChannelText(m, 3, "1"); }, 5000, lost_at));
    auto again = emu_->log().WaitForCommand(0x0541, 1000, -1, seq);
    ASSERT_TRUE(again);
    EXPECT_NE(again->connection, start->connection) << "a fresh stream connection";
    EXPECT_EQ(again->payload[1], 1);
    for (auto& m : msgs_.Snapshot()) {
        EXPECT_FALSE(ChannelText(m, 3, "0") || ChannelText(m, 4, "0")) << "channel 0 is closed";
    }
    Dev().StallChannel(1, false);
    const std::size_t before = media_.FullCount(7, 1);
    EXPECT_TRUE(media_.WaitFull(7, 1, before + 5, 5000));
}

// 0x0557: message 2, a new login on the next tick, both open channels asked
// for again with the new token and flowing.
TEST_F(PlatformDevice, SessionEndedByThePlatformIsLoggedInAgainWithItsChannels) {
    Start(8);
    auto dev = Login(8);
    ASSERT_TRUE(dev);
    for (int ch = 0; ch < 2; ++ch) {
        ClientInfo req = DataRequest(ch);
        ASSERT_EQ(dev->RealPlay(&req), 1);
        ASSERT_TRUE(media_.WaitFull(8, ch, 3, 5000));
    }
    uint8_t old_token[32];
    dev->Token(old_token);
    const std::size_t from = msgs_.Size();
    Dev().EndPlatformSessions();
    std::size_t lost = 0, back = 0;
    ASSERT_TRUE(msgs_.WaitFor(8, 2, 3000, from, &lost));
    ASSERT_TRUE(msgs_.WaitFor(8, 1, 3000, lost, &back));
    for (const char* ch : {"0", "1"})
        EXPECT_TRUE(
            msgs_.WaitFor([&](const Message& m) { return ChannelText(m, 3, ch); }, 3000, back))
            << ch;
    uint8_t token[32];
    dev->Token(token);
    EXPECT_NE(Bytes(token, token + 16), Bytes(old_token, old_token + 16));
    for (int ch = 0; ch < 2; ++ch) {
        const std::size_t before = media_.FullCount(8, ch);
        EXPECT_TRUE(media_.WaitFull(8, ch, before + 5, 5000)) << ch;
    }
    EXPECT_EQ(Dev().LoggedInSessions(), 1);
}

// Id 9999 passes every video payload on unassembled, as channel 0.
TEST_F(PlatformDevice, PassThroughIdHandsOnEveryVideoPayloadUnassembled) {
    Start(9999);
    auto dev = Login(9999);
    ASSERT_TRUE(dev);
    ClientInfo req = DataRequest(1);
    ASSERT_EQ(dev->RealPlay(&req), 1);
    ASSERT_TRUE(media_.WaitReal(9999, 0, 20, 5000));
    EXPECT_EQ(media_.FullCount(9999, 1), 0u);
    EXPECT_EQ(media_.RealCount(9999, 1), 0u);
    for (auto& d : media_.Real(9999, 0)) {
        ASSERT_GE(d.data.size(), 24u);
        EXPECT_EQ(d.data[1], 1) << "the fragment header as it came, channel byte 1";
        EXPECT_EQ(d.data.size(), 24u + Le16(d.data.data() + 22));
    }
}

// Stream mode 4: frames are assembled for the display only.
TEST_F(PlatformDevice, BareStreamModeAssemblesForTheDisplayOnly) {
    Start(12);
    auto dev = Login(12);
    ASSERT_TRUE(dev);
    ClientInfo req = DataRequest(1, 4);
    ASSERT_EQ(dev->RealPlay(&req), 1);
    ASSERT_TRUE(WaitUntil([&] { return dev->Stats(1).frames.load() >= 10; }, 5000));
    EXPECT_EQ(dev->Stats(1).frames_dropped.load(), 0u);
    EXPECT_EQ(media_.FullCount(12, 1), 0u);
    EXPECT_EQ(media_.RealCount(12, 1), 0u);
}

// A recorded platform channel: the frames equal the emulator's source, and
// ffprobe reads the file with every one of them.
TEST_F(PlatformDevice, RecordedChannelHoldsTheSourceFrames) {
    Start(11);
    auto dev = Login(11);
    ASSERT_TRUE(dev);
    TempDir dir;
    const std::string avi = dir.File("plt.avi");
    dev->StartLoclRecord(0, avi.c_str(), 1);
    ClientInfo req = DataRequest(0);
    ASSERT_EQ(dev->RealPlay(&req), 1);
    ASSERT_TRUE(media_.WaitFull(11, 0, 40, 8000));
    ASSERT_EQ(dev->StopRealPlay(0, 0), 1);
    auto stop = emu_->log().WaitForCommand(0x0542, 1000);
    ASSERT_TRUE(stop);
    ASSERT_EQ(stop->payload.size(), 44u);
    EXPECT_EQ(Le16(stop->payload.data() + 42), 0);
    dev->StopLoclRecord(0);
    // The file holds the first frames delivered (the recorder was open before
    // the stream started); its header says how many.
    const Bytes file = ReadFile(avi);
    ASSERT_GT(file.size(), 52u);
    const std::size_t recorded = Le32(file.data() + 48);
    auto frames = media_.Full(11, 0);
    ASSERT_GE(recorded, 40u);
    ASSERT_LE(recorded, frames.size());
    frames.resize(recorded);
    std::size_t checked = 0;
    ASSERT_EQ(CompareWithSent(frames, Dev(), 0, 0, &checked), "");
    EXPECT_EQ(checked, recorded);

    const std::string ffprobe = Which("ffprobe");
    if (ffprobe.empty()) GTEST_SKIP() << "ffprobe not installed";
    RunResult probe =
        sdk_test::Run(ffprobe + " -v error -count_frames -show_streams '" + avi + "'");
    ASSERT_EQ(probe.status, 0) << probe.output;
    EXPECT_NE(probe.output.find("codec_name=h264"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("nb_read_frames=" + std::to_string(recorded) + "\n"),
              std::string::npos)
        << probe.output << " frames recorded: " << recorded;
}

}  // namespace
}  // namespace sdk_test
