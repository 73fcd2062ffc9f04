// Reassembly and the hand-off to players against a scripted device that sends
// whatever byte sequences a test wants: frames past the total or past the
// buffer, fragments out of order, wrong kinds and channels, short messages,
// audio blocks of each format; the screen-saver rule.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <tuple>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/video_server.h"
#include "renderkit/play_audio.h"
#include "renderkit/play_video.h"
#include "tests/decodekit/sdk_support/scripted_peer.h"
#include "tests/decodekit/sdk_support/sdk_test_util.h"
#include "tests/support/h264_test_stream.h"

namespace sdk_test {
namespace {

constexpr int kId = 44;
constexpr std::size_t kBufferBytes = 2048000;

class LiveInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("DISPLAY");  // players decode without drawing
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ASSERT_TRUE(peer_.ok());
        CDeviceManage::Options o;
        o.tick_ms = 50;
        o.query_screen_saver = false;
        reg_ = std::make_unique<CDeviceManage>(std::move(o));
        reg_->SetMessageCallback(&MessageRecorder::Callback, &msgs_);
        reg_->SetFullFrameCallback(&MediaRecorder::FullCallback, &media_);
        reg_->SetRealDataCallback(&MediaRecorder::RealCallback, &media_);
    }
    void TearDown() override {
        if (own_) own_->Logout(1);
        own_.reset();
        reg_.reset();
    }
    DeviceLoginInfo Record(int channels = 2) {
        DeviceLoginInfo r{};
        r.device_id = kId;
        r.channel_count = channels;
        std::strcpy(r.control_address, "127.0.0.1");
        r.control_port = peer_.control_port();
        r.stream_port = peer_.stream_port();
        std::memcpy(r.user_name, "admin", 5);
        std::memcpy(r.password, "admin", 5);
        r.device_kind = 1;
        return r;
    }
    // Logged in through the registry (kept alive by its housekeeping).
    std::shared_ptr<CVideoServer> LoginRegistered(int channels = 2) {
        DeviceLoginInfo r = Record(channels);
        if (reg_->Login(&r) != 1) return nullptr;
        return std::dynamic_pointer_cast<CVideoServer>(reg_->Find(kId));
    }
    // Logged in outside the registry's map: the housekeeping thread never
    // touches it (so its screen-saver flag stays as the test sets it).
    std::shared_ptr<CVideoServer> LoginOwn(int channels = 2) {
        own_ = std::make_shared<CVideoServer>(reg_.get(), channels);
        DeviceLoginInfo r = Record(channels);
        if (own_->Login(&r) != 1) return nullptr;
        return own_;
    }
    bool OpenData(CVideoServer& dev, int ch, int kind = 0) {
        ClientInfo ci = DataRequest(ch, kind);
        return dev.RealPlayData(&ci) == 1 && peer_.WaitBound(2000);
    }
    // Sends `data` as one frame in fragments of `piece` bytes.
    void SendFrame(uint8_t ch, uint8_t kind, const Bytes& data, std::size_t piece,
                   uint32_t number, uint8_t type = 8) {
        std::size_t at = 0;
        uint8_t index = 0;
        do {
            std::size_t n = std::min(piece, data.size() - at);
            Bytes part(data.begin() + at, data.begin() + at + n);
            ASSERT_TRUE(peer_.SendStream(0x0301, Fragment(ch, kind, type, index++,
                                                          static_cast<uint32_t>(data.size()),
                                                          part, number)));
            at += n;
        } while (at < data.size());
    }
    void SendPiece(uint8_t ch, uint8_t kind, uint8_t index, uint32_t total, const Bytes& part,
                   uint32_t number = 0) {
        ASSERT_TRUE(peer_.SendStream(0x0301, Fragment(ch, kind, 8, index, total, part, number)));
    }
    // Frame data of the FullFrame records of channel ch.
    std::vector<Bytes> FrameData(int ch) {
        std::vector<Bytes> out;
        for (auto& d : media_.Full(kId, ch)) out.emplace_back(d.data.begin() + 30, d.data.end());
        return out;
    }

    ScriptedPeer peer_;
    MessageRecorder msgs_;
    MediaRecorder media_;
    std::unique_ptr<CDeviceManage> reg_;
    std::shared_ptr<CVideoServer> own_;
};

TEST_F(LiveInProcess, BadFramesAreDroppedCountedAndTheNextFrameStartsClean) {
    auto dev = LoginRegistered();
    ASSERT_TRUE(dev);
    ASSERT_TRUE(OpenData(*dev, 0));
    const Bytes a = Pattern(2500, 1), b = Pattern(777, 2), c = Pattern(3000, 3);
    std::vector<Bytes> expected;

    SendFrame(0, 0, a, 1000, 1, 7);
    expected.push_back(a);
    // Fragments running past the announced total: the frame is dropped,
    // and so is the rest of it.
    SendPiece(0, 0, 0, 100, Pattern(60, 10));
    SendPiece(0, 0, 1, 100, Pattern(60, 11));
    SendPiece(0, 0, 2, 100, Pattern(10, 12));
    SendFrame(0, 0, b, 300, 2);
    expected.push_back(b);
    // A frame that would not fit the buffer (prefix + total > 2,048,000).
    const uint32_t too_big = static_cast<uint32_t>(kBufferBytes - 30 + 1);
    SendPiece(0, 0, 0, too_big, Pattern(60000, 13));
    SendPiece(0, 0, 1, too_big, Pattern(60000, 14));
    SendFrame(0, 0, c, 1400, 3);
    expected.push_back(c);
    // Fragments out of order, and a repeated fragment, with data that adds
    // up to the total: neither may come out as a frame.
    SendPiece(0, 0, 0, 300, Pattern(100, 20));
    SendPiece(0, 0, 2, 300, Pattern(100, 22));
    SendPiece(0, 0, 1, 300, Pattern(100, 21));
    SendPiece(0, 0, 0, 300, Pattern(100, 30));
    SendPiece(0, 0, 1, 300, Pattern(100, 31));
    SendPiece(0, 0, 1, 300, Pattern(100, 31));
    // A fragment without its start, a message too short for a header, a
    // fragment whose length field claims more than it holds.
    SendPiece(0, 0, 3, 500, Pattern(100, 40));
    ASSERT_TRUE(peer_.SendStream(0x0301, Pattern(10, 41)));
    ASSERT_TRUE(peer_.SendStream(0x0301, {}));
    {
        Bytes liar = Fragment(0, 0, 8, 0, 50, Pattern(50, 42), 4);
        PutLe16(liar.data() + 22, 60000);
        ASSERT_TRUE(peer_.SendStream(0x0301, liar));
        expected.push_back(Bytes(liar.begin() + 24, liar.end()));
    }
    SendFrame(0, 0, a, 333, 5);
    expected.push_back(a);

    ASSERT_TRUE(media_.WaitFull(kId, 0, expected.size(), 5000));
    auto got = FrameData(0);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i]) << "frame " << i;
    for (auto& d : media_.Full(kId, 0)) EXPECT_EQ(d.data[6 + 7], 1);
    EXPECT_EQ(dev->Stats(0).frames.load(), expected.size());
    // Past the total, too big, out of order, repeated.
    EXPECT_EQ(dev->Stats(0).frames_dropped.load(), 4u);
}

TEST_F(LiveInProcess, FrameThatExactlyFillsTheBufferIsDelivered) {
    auto dev = LoginRegistered();
    ASSERT_TRUE(dev);
    ASSERT_TRUE(OpenData(*dev, 0));
    const Bytes big = Pattern(kBufferBytes - 30, 7);
    SendFrame(0, 0, big, 60000, 1);
    const Bytes small = Pattern(10, 8);
    SendFrame(0, 0, small, 60000, 2);
    ASSERT_TRUE(media_.WaitFull(kId, 0, 2, 10000));
    auto got = FrameData(0);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0] == big);
    EXPECT_EQ(media_.Full(kId, 0)[0].data.size(), kBufferBytes);
    EXPECT_EQ(got[1], small);
    EXPECT_EQ(dev->Stats(0).frames_dropped.load(), 0u);
}

TEST_F(LiveInProcess, WrongKindsChannelsAndLoggedOutFragmentsReachNobody) {
    auto dev = LoginRegistered(2);
    ASSERT_TRUE(dev);
    ASSERT_TRUE(OpenData(*dev, 0));
    SendFrame(0, 1, Pattern(500, 1), 200, 1);  // sub stream on a main channel
    SendFrame(2, 0, Pattern(500, 2), 200, 2);  // channel at the count
    SendFrame(3, 0, Pattern(500, 3), 200, 3);
    SendFrame(200, 0, Pattern(500, 4), 200, 4);
    ASSERT_TRUE(peer_.SendStream(0x0302, AudioBlock(1, 3, Pattern(100, 5))));
    ASSERT_TRUE(peer_.SendStream(0x0999, Pattern(40, 6)));  // unknown on the stream
    const Bytes good = Pattern(500, 9);
    SendFrame(0, 0, good, 200, 5);
    ASSERT_TRUE(media_.WaitFull(kId, 0, 1, 3000));
    EXPECT_EQ(FrameData(0), std::vector<Bytes>{good});
    EXPECT_EQ(media_.Real(kId, 0).size(), 3u) << "only the good frame's fragments";
    for (int ch = 1; ch < 256; ++ch) {
        EXPECT_EQ(media_.FullCount(kId, ch, 0) + media_.FullCount(kId, ch, 1), 0u) << ch;
        EXPECT_EQ(media_.RealCount(kId, ch), 0u) << ch;
    }
    EXPECT_EQ(dev->Stats(0).frames_dropped.load(), 0u);

    // Channel 4 is channel 0's sub stream: delivered as channel 0, kind 1,
    // and channel 0 then takes the sub stream only.
    const Bytes sub = Pattern(300, 10);
    SendFrame(4, 1, sub, 100, 6);
    ASSERT_TRUE(media_.WaitFull(kId, 0, 2, 3000));
    auto last = media_.Full(kId, 0).back();
    EXPECT_EQ(last.data[6 + 1], 0);
    EXPECT_EQ(last.data[6 + 3], 1);
    EXPECT_EQ(Bytes(last.data.begin() + 30, last.data.end()), sub);
    SendFrame(0, 0, Pattern(300, 11), 100, 7);
    SendFrame(0, 1, sub, 100, 8);
    ASSERT_TRUE(media_.WaitFull(kId, 0, 3, 3000));
    EXPECT_EQ(ViewRecord(media_.Full(kId, 0).back().data).frame_number, 8u);

    // While logged out nothing is taken.
    dev->Logout(1);
    ASSERT_TRUE(peer_.WaitFor(0x0102, 1, 2000));
    SendFrame(0, 1, sub, 100, 9);
    EXPECT_FALSE(media_.WaitFull(kId, 0, 4, 300));
    EXPECT_EQ(media_.FullCount(kId, 0), 3u);
}

TEST_F(LiveInProcess, ScreenSaverKeepsFramesFromThePlayerButNotFromTheCallbacks) {
    auto dev = LoginOwn(1);
    ASSERT_TRUE(dev);
    ClientInfo ci = DataRequest(0);
    ci.window = 0x5A5A;  // any id: there is no display, the player only decodes
    ASSERT_EQ(dev->RealPlay(&ci), 1);
    ASSERT_TRUE(peer_.WaitBound(2000));
    EXPECT_EQ(dev->RealPlay(&ci), 0) << "video already open";
    auto received = [&] {
        RenderVideoStats s{};
        dev->VideoPlayerStats(0, &s);
        return s.frames_received;
    };
    for (uint32_t i = 0; i < 3; ++i) SendFrame(0, 0, Pattern(400, i), 150, i);
    ASSERT_TRUE(media_.WaitFull(kId, 0, 3, 3000));
    EXPECT_TRUE(WaitUntil([&] { return received() == 3; }, 2000));

    dev->SetScreenSaverFlag(1);
    for (uint32_t i = 3; i < 6; ++i) SendFrame(0, 0, Pattern(400, i), 150, i);
    ASSERT_TRUE(media_.WaitFull(kId, 0, 6, 3000));
    EXPECT_EQ(received(), 3u);

    dev->SetScreenSaverFlag(0);
    SendFrame(0, 0, Pattern(400, 6), 150, 6);
    ASSERT_TRUE(media_.WaitFull(kId, 0, 7, 3000));
    EXPECT_TRUE(WaitUntil([&] { return received() == 4; }, 2000));

    // Hidden: raw data only.
    ASSERT_EQ(dev->HidePlay(0), 1);
    const std::size_t real = media_.RealCount(kId, 0);
    SendFrame(0, 0, Pattern(400, 7), 150, 7);
    ASSERT_TRUE(media_.WaitReal(kId, 0, real + 3, 3000));
    EXPECT_EQ(media_.FullCount(kId, 0), 7u);
    ASSERT_EQ(dev->ShowPlay(0), 1);
    SendFrame(0, 0, Pattern(400, 8), 150, 8);
    ASSERT_TRUE(media_.WaitFull(kId, 0, 8, 3000));
}

TEST_F(LiveInProcess, RealPlayWithoutAnAnswerFailsAndOpensNothing) {
    auto dev = LoginOwn(1);
    ASSERT_TRUE(dev);
    std::atomic<bool> answer{false};
    peer_.SetAnswer(0x0201, [&](uint16_t, const Bytes&) {
        ScriptedPeer::Answer a;
        a.send = answer.load();
        a.command = 0x8201;
        a.payload = {0, 0, 0x21, 0x43};
        return a;
    });
    ClientInfo ci = DataRequest(0);
    ci.window = 0x5A5A;
    EXPECT_EQ(dev->RealPlay(&ci), 0);
    EXPECT_EQ(dev->VideoFlag(0), 0);
    EXPECT_EQ(dev->Busy(), 0);
    EXPECT_EQ(peer_.Count(0x0202), 0u) << "no stream connection bound";
    answer = true;
    EXPECT_EQ(dev->RealPlay(&ci), 1);
    EXPECT_EQ(dev->VideoFlag(0), 1);
    EXPECT_TRUE(peer_.WaitBound(2000));
}

struct DecodedLog {
    std::mutex mutex;
    std::vector<std::tuple<unsigned, int, int, int>> pictures;  // link, channel, width, height
    static void ZYNVS_CALL Callback(unsigned int link, int channel, void* frame, int length,
                                    void* user) {
        auto* self = static_cast<DecodedLog*>(user);
        auto* pic = static_cast<const ZynDecodedPicture*>(frame);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (pic && length == static_cast<int>(sizeof(ZynDecodedPicture)))
            self->pictures.emplace_back(link, channel, pic->width, pic->height);
    }
    std::size_t Size() {
        std::lock_guard<std::mutex> lock(mutex);
        return pictures.size();
    }
};

TEST_F(LiveInProcess, DecodedPicturesReachTheDecodeCallbackWithTheChannelsLinkValue) {
    zyn_test::H264StreamOptions o;
    o.width = 176;
    o.height = 144;
    o.frames = 12;
    o.gop = 6;
    std::vector<zyn_test::H264Frame> frames;
    try {
        frames = zyn_test::MakeH264Stream(o);
    } catch (const std::exception& e) {
        GTEST_SKIP() << e.what();
    }
    DecodedLog decoded;
    reg_->SetDecRealDataCallback(&DecodedLog::Callback, &decoded);
    auto dev = LoginOwn(2);
    ASSERT_TRUE(dev);
    ClientInfo ci = DataRequest(1, 0, 0xCAFE0001);
    ci.window = 0x5A5A;
    ASSERT_EQ(dev->RealPlay(&ci), 1);
    ASSERT_TRUE(peer_.WaitBound(2000));
    for (std::size_t i = 0; i < frames.size(); ++i)
        SendFrame(1, 0, frames[i].data, 500, static_cast<uint32_t>(i), frames[i].key ? 7 : 8);
    ASSERT_TRUE(media_.WaitFull(kId, 1, frames.size(), 3000));
    ASSERT_TRUE(WaitUntil([&] { return decoded.Size() == frames.size(); }, 5000)) << decoded.Size();
    std::lock_guard<std::mutex> lock(decoded.mutex);
    for (auto& [link, channel, w, h] : decoded.pictures) {
        EXPECT_EQ(link, 0xCAFE0001u);
        EXPECT_EQ(channel, 1);
        EXPECT_EQ(w, 176);
        EXPECT_EQ(h, 144);
    }
}

// Audio reaches the channel's player without the device's 4-byte audio
// header for formats 1 and 2 and whole for the others.
class AudioFormats : public LiveInProcess, public ::testing::WithParamInterface<int> {};

TEST_P(AudioFormats, PlayerGetsTheDataBehindTheRightHeader) {
    const int format = GetParam();
    Bytes block(504, 0);
    block[120] = 1;
    block[121] = static_cast<uint8_t>(format);
    peer_.SetNewerLogin(block);
    auto dev = LoginOwn(1);
    ASSERT_TRUE(dev);
    ClientInfo ci = DataRequest(0);
    ci.window = 0x5A5A;
    ASSERT_EQ(dev->RealPlay(&ci), 1);
    ASSERT_TRUE(peer_.WaitBound(2000));
    ASSERT_EQ(dev->OpenSound(0), 1);
    Bytes data = {0xAA, 0xBB, 0xCC, 0xDD};  // not an audio frame header the player knows
    Bytes samples = Pattern(320, 3);
    data.insert(data.end(), samples.begin(), samples.end());
    ASSERT_TRUE(peer_.SendStream(0x0302, AudioBlock(static_cast<uint8_t>(format), 0, data)));
    // A block whose length word claims more than the message holds.
    Bytes liar = AudioBlock(static_cast<uint8_t>(format), 0, data);
    PutLe16(liar.data() + 22, 9000);
    ASSERT_TRUE(peer_.SendStream(0x0302, liar));
    ASSERT_TRUE(media_.WaitFull(kId, 0, 2, 3000, /*kind=*/1));
    const uint64_t per_block = (format == 1 || format == 2) ? 320 : (format == 3 ? 162 : 324);
    RenderAudioStats s{};
    EXPECT_TRUE(WaitUntil([&] {
        dev->AudioPlayerStats(0, &s);
        return s.blocks >= 2;
    }, 2000));
    EXPECT_EQ(s.blocks, 2u);
    EXPECT_EQ(s.samples_in, 2 * per_block);
    // The callbacks get the whole message either way.
    auto full = media_.Full(kId, 0, 1);
    EXPECT_EQ(full[0].data.size(), 6u + 24 + 324);
    EXPECT_EQ(full[0].frame_type, format);
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioFormats, ::testing::Values(0, 1, 2, 3));

}  // namespace
}  // namespace sdk_test
