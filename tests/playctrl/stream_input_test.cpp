// Stream ports: display initialisation by the first video packet, frame
// reassembly, audio packet checks, sound start rules, snapshots and bad
// packets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include <zynvs/ZynPlayCtrl.h>

#include "tests/playctrl/playctrl_test_util.h"

namespace {

using pc_test::StreamPacket;
using playctrl::PortTable;

// A window id that exists nowhere: the video object decodes without drawing.
constexpr ZYNVS_WND kFakeWindow = 0x7fff0001;

int Input(int port, int type, std::vector<uint8_t> packet) {
    // An exactly sized heap block, so that a read past the end is caught.
    auto* exact = static_cast<unsigned char*>(std::malloc(packet.size() ? packet.size() : 1));
    if (!packet.empty()) std::memcpy(exact, packet.data(), packet.size());
    const int r = ZYNVS_PlAY_InputData(port, type, exact, static_cast<unsigned int>(packet.size()));
    std::free(exact);
    return r;
}

struct AudioSink {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<int> ports;
    static void ZYNVS_CALL On(int port, void* data, int length, void* user) {
        auto* self = static_cast<AudioSink*>(user);
        std::lock_guard lock(self->mutex);
        self->blocks.emplace_back(static_cast<uint8_t*>(data),
                                  static_cast<uint8_t*>(data) + length);
        self->ports.push_back(port);
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return blocks.size();
    }
};

class StreamInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        PortTable::Instance().Clear();
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
    void TearDown() override { PortTable::Instance().Clear(); }

    // A stream port with a window whose display is initialised.
    int InitialisedPort(pc_test::FrameLog* log) {
        const int p = ZYNVS_PlAY_OpenStream(kFakeWindow, 0, 0, 0);
        if (log) log->Attach(*pc_test::Port(p));
        Input(p, 0, StreamPacket(true, 0, 1, 0, pc_test::FillerPayload(10)));
        return p;
    }
};

TEST_F(StreamInputTest, FirstVideoPacketInitialisesTheDisplayByResolutionCode) {
    const struct {
        uint8_t code;
        int w, h;
    } cases[] = {{5, 1920, 1080}, {0, 1280, 720}, {6, 1280, 720}};
    for (const auto& c : cases) {
        const int p = ZYNVS_PlAY_OpenStream(kFakeWindow, 0, 0, 0);
        pc_test::FrameLog log;
        log.Attach(*pc_test::Port(p));
        EXPECT_EQ(Input(p, 0, StreamPacket(true, 0, 1, 1, pc_test::FillerPayload(100), c.code)), 1);
        auto port = pc_test::Port(p);
        EXPECT_TRUE(port->stream_initialised());
        EXPECT_EQ(port->display_width(), c.w);
        EXPECT_EQ(port->display_height(), c.h);
        EXPECT_EQ(log.count(), 0u);  // the first packet is used for nothing else
        // A later packet with another code changes nothing and is handed on.
        Input(p, 0, StreamPacket(true, 0, 1, 2, pc_test::FillerPayload(100), c.code == 5 ? 0 : 5));
        EXPECT_EQ(port->display_width(), c.w);
        EXPECT_EQ(log.count(), 1u);
        ZYNVS_PlAY_CloseStream(p);
    }
}

TEST_F(StreamInputTest, ThreePacketFrameIsHandedOnWhole) {
    pc_test::FrameLog log;
    const int p = ZYNVS_PlAY_OpenStream(kFakeWindow, 0, 0, 0);
    log.Attach(*pc_test::Port(p), nullptr, true);
    Input(p, 0, StreamPacket(true, 0, 1, 0, {1}));  // initialises
    const auto a = pc_test::FillerPayload(1000, 1), b = pc_test::FillerPayload(1000, 2),
               c = pc_test::FillerPayload(500, 3);
    Input(p, 0, StreamPacket(true, 0, 3, 9, a));
    Input(p, 0, StreamPacket(true, 1, 3, 9, b));
    EXPECT_EQ(log.count(), 0u);
    Input(p, 0, StreamPacket(true, 2, 3, 9, c));
    ASSERT_EQ(log.count(), 1u);
    const auto f = log.frames()[0];
    EXPECT_EQ(f.length, 2500u);
    EXPECT_EQ(f.number, 9u);
    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_EQ(f.data, expected);
    EXPECT_EQ(pc_test::Port(p)->frames_handed_on(), 1u);
}

TEST_F(StreamInputTest, SinglePacketFrameTakesItsLengthFromOffset12) {
    pc_test::FrameLog log;
    const int p = InitialisedPort(&log);
    // 300 payload bytes; the fragment length at offset 22 says 300 too, the
    // total at offset 12 says 200: 200 bytes are the frame.
    Input(p, 0, StreamPacket(true, 0, 1, 4, pc_test::FillerPayload(300), 0, 200));
    ASSERT_EQ(log.count(), 1u);
    EXPECT_EQ(log.frames()[0].length, 200u);
    // A total beyond the packet's end is not read: the packet is dropped.
    Input(p, 0, StreamPacket(true, 0, 1, 5, pc_test::FillerPayload(300), 0, 301));
    EXPECT_EQ(log.count(), 1u);
}

TEST_F(StreamInputTest, IndexZeroRestartsTheFrame) {
    pc_test::FrameLog log;
    const int p = InitialisedPort(&log);
    log.Attach(*pc_test::Port(p), nullptr, true);
    Input(p, 0, StreamPacket(true, 0, 3, 1, pc_test::FillerPayload(700, 1)));
    Input(p, 0, StreamPacket(true, 1, 3, 1, pc_test::FillerPayload(700, 2)));
    // A new frame starts before the first was complete.
    const auto x = pc_test::FillerPayload(10, 5), y = pc_test::FillerPayload(20, 6);
    Input(p, 0, StreamPacket(true, 0, 2, 2, x));
    Input(p, 0, StreamPacket(true, 1, 2, 2, y));
    ASSERT_EQ(log.count(), 1u);
    auto expected = x;
    expected.insert(expected.end(), y.begin(), y.end());
    EXPECT_EQ(log.frames()[0].data, expected);
    EXPECT_EQ(log.frames()[0].number, 2u);
}

TEST_F(StreamInputTest, CountZeroNeverCompletes) {
    pc_test::FrameLog log;
    const int p = InitialisedPort(&log);
    for (uint8_t i = 0; i < 255; ++i) Input(p, 0, StreamPacket(true, i, 0, 3, {1, 2, 3}));
    Input(p, 0, StreamPacket(true, 255, 0, 3, {1}));
    EXPECT_EQ(log.count(), 0u);
    // Index 255 of a count of 255 is not complete either (index + 1 = 256).
    Input(p, 0, StreamPacket(true, 255, 255, 3, {1}));
    EXPECT_EQ(log.count(), 0u);
}

TEST_F(StreamInputTest, OversizedAndOverflowingFrames) {
    pc_test::FrameLog log;
    const int p = InitialisedPort(&log);
    // A packet whose length claims more than the frame buffer is dropped.
    Input(p, 0, StreamPacket(true, 0, 1, 1, pc_test::FillerPayload(16), 0, 1024001));
    EXPECT_EQ(log.count(), 0u);
    // 1,024,000 bytes exactly fit.
    Input(p, 0, StreamPacket(true, 0, 1, 2, pc_test::FillerPayload(1024000)));
    ASSERT_EQ(log.count(), 1u);
    EXPECT_EQ(log.frames()[0].length, 1024000u);
    // A frame that would overflow is started afresh with the overflowing packet.
    for (uint8_t i = 0; i < 17; ++i)
        Input(p, 0, StreamPacket(true, i, 18, 3, pc_test::FillerPayload(60000)));
    Input(p, 0, StreamPacket(true, 17, 18, 3, pc_test::FillerPayload(60000)));
    ASSERT_EQ(log.count(), 2u);
    // 17 x 60,000 = 1,020,000 fit; the 18th restarts the buffer.
    EXPECT_EQ(log.frames()[1].length, 60000u);
}

TEST_F(StreamInputTest, TimeExtensionMarkIsNotSpecialInStreams) {
    pc_test::FrameLog log;
    const int p = InitialisedPort(&log);
    auto pkt = StreamPacket(true, 0, 1, 1, pc_test::FillerPayload(40));
    pkt[6 + 5] = 3;
    Input(p, 0, pkt);
    ASSERT_EQ(log.count(), 1u);
    EXPECT_EQ(log.frames()[0].length, 40u);
}

TEST_F(StreamInputTest, VideoIsIgnoredUntilThePortHasAWindow) {
    for (bool display_port : {false, true}) {
        const int p = display_port ? ZYNVS_PlAY_Create(0) : ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
        ASSERT_GT(p, 0);
        pc_test::FrameLog log;
        log.Attach(*pc_test::Port(p));
        for (uint32_t i = 0; i < 5; ++i)
            Input(p, 0, StreamPacket(true, 0, 1, i, pc_test::FillerPayload(50), 5));
        EXPECT_FALSE(pc_test::Port(p)->stream_initialised());
        EXPECT_EQ(log.count(), 0u);
        EXPECT_EQ(ZYNVS_PLAY_ChangeWindow(p, kFakeWindow), 1);
        Input(p, 0, StreamPacket(true, 0, 1, 10, pc_test::FillerPayload(50), 5));
        EXPECT_TRUE(pc_test::Port(p)->stream_initialised());
        EXPECT_EQ(pc_test::Port(p)->display_width(), 1920);
        EXPECT_EQ(log.count(), 0u);
        Input(p, 0, StreamPacket(true, 0, 1, 11, pc_test::FillerPayload(50)));
        EXPECT_EQ(log.count(), 1u);
        ZYNVS_PlAY_Destory(p);
    }
}

TEST_F(StreamInputTest, SoundNeedsTheFirstVideoPacketAndAWindow) {
    AudioSink sink;
    // Without a window sound never starts.
    const int headless = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    Input(headless, 0, StreamPacket(true, 0, 1, 0, {1}));
    EXPECT_EQ(ZYNVS_PlAY_PlaySound(headless), 1);
    EXPECT_FALSE(pc_test::Port(headless)->sound_on());

    const int p = ZYNVS_PlAY_OpenStream(kFakeWindow, 0, 0, 0);
    ZYNVS_PlAY_SetRealDataCallBackEx(p, &AudioSink::On, &sink);
    EXPECT_EQ(ZYNVS_PlAY_PlaySound(p), 1);  // before the first video packet: nothing
    EXPECT_FALSE(pc_test::Port(p)->sound_on());
    Input(p, 1, StreamPacket(false, 0, 1, 0, pc_test::FillerPayload(320)));
    EXPECT_EQ(sink.count(), 0u);  // dropped while sound is off

    Input(p, 0, StreamPacket(true, 0, 1, 0, {1}));
    ZYNVS_PlAY_PlaySound(p);
    ASSERT_TRUE(pc_test::Port(p)->sound_on());
    const auto payload = pc_test::FillerPayload(320, 9);
    auto packet = StreamPacket(false, 0, 1, 1, payload, 0, -1, 1);
    EXPECT_EQ(packet.size(), 350u);
    Input(p, 1, packet);
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(sink.blocks[0], payload);  // the payload and its length
    EXPECT_EQ(sink.ports[0], p);
    packet.push_back(0);  // 351 bytes for a length of 320
    Input(p, 1, packet);
    Input(p, 1, StreamPacket(false, 0, 1, 2, pc_test::FillerPayload(2048)));
    Input(p, 1, StreamPacket(false, 0, 1, 2, pc_test::FillerPayload(2047)));
    EXPECT_EQ(sink.count(), 2u);
    Input(p, 7, StreamPacket(false, 0, 1, 2, pc_test::FillerPayload(20)));  // unknown type
    EXPECT_EQ(sink.count(), 2u);
    // Stream ports never play: stop turns sound off.
    ZYNVS_PlAY_StopSound(p);
    EXPECT_FALSE(pc_test::Port(p)->sound_on());
}

TEST_F(StreamInputTest, AudioGoesToTheAudioObjectOnlyWithoutACallback) {
    const int p = ZYNVS_PlAY_OpenStream(kFakeWindow, 0, 0, 0);
    Input(p, 0, StreamPacket(true, 0, 1, 0, {1}));
    ZYNVS_PlAY_PlaySound(p);
    ASSERT_TRUE(pc_test::Port(p)->sound_on());
    auto blocks = [&] {
        RenderAudioStats s{};
        pc_test::Port(p)->audio().GetStats(&s);
        return s.blocks;
    };
    Input(p, 1, StreamPacket(false, 0, 1, 1, pc_test::FillerPayload(160)));
    EXPECT_EQ(blocks(), 1u);
    AudioSink sink;
    ZYNVS_PlAY_SetRealDataCallBackEx(p, &AudioSink::On, &sink);
    for (int i = 0; i < 5; ++i)
        Input(p, 1, StreamPacket(false, 0, 1, 2, pc_test::FillerPayload(160)));
    EXPECT_EQ(blocks(), 1u);
    EXPECT_EQ(sink.count(), 5u);
    EXPECT_EQ(ZYNVS_PlAY_SetVolume(p, 0x8000), 1);
}

TEST_F(StreamInputTest, DecodedPicturesCanBeSaved) {
    const auto& frames = pc_test::Stream320x240();
    const int p = ZYNVS_PlAY_OpenStream(kFakeWindow, 0, 0, 0);
    auto port = pc_test::Port(p);
    port->video().SetQueueLimits(200, 0, 0);
    Input(p, 0, StreamPacket(true, 0, 1, 0, {1}));
    for (std::size_t i = 0; i < 12; ++i) {
        // Each frame in fragments of at most 1000 bytes.
        const auto& d = frames[i].data;
        const std::size_t count = (d.size() + 999) / 1000;
        for (std::size_t k = 0; k < count; ++k) {
            std::vector<uint8_t> part(d.begin() + k * 1000,
                                      d.begin() + std::min(d.size(), (k + 1) * 1000));
            Input(p, 0,
                  StreamPacket(true, static_cast<uint8_t>(k), static_cast<uint8_t>(count),
                               static_cast<uint32_t>(i), part));
        }
    }
    ASSERT_EQ(port->video().WaitIdle(10000), 1);
    RenderVideoStats s{};
    port->video().GetStats(&s);
    EXPECT_EQ(s.frames_decoded, 12u);
    EXPECT_EQ(s.width, 320);
    pc_test::TempDir dir;
    const std::string path = dir.Path("snap.bmp");
    EXPECT_EQ(ZYNVS_PLAY_CapPic(p, path.c_str(), 0), 1);
    const auto bmp = pc_test::ReadFile(path);
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
}

TEST_F(StreamInputTest, RandomPacketsNeverCrash) {
    std::mt19937 rng(77);
    const int p = InitialisedPort(nullptr);
    ZYNVS_PlAY_PlaySound(p);
    for (int i = 0; i < 20000; ++i) {
        std::vector<uint8_t> pkt(rng() % (i % 50 == 0 ? 4000 : 80));
        for (auto& b : pkt) b = static_cast<uint8_t>(rng());
        if (pkt.size() >= 30 && rng() % 2) {
            // Plausible lengths around the packet size.
            const uint32_t len = static_cast<uint32_t>(pkt.size() - 30 + rng() % 5) - 2;
            std::memcpy(&pkt[6 + 12], &len, 4);
            pkt[6 + 22] = static_cast<uint8_t>(len);
            pkt[6 + 23] = static_cast<uint8_t>(len >> 8);
            pkt[6 + 7] = static_cast<uint8_t>(rng() % 3);
        }
        EXPECT_EQ(Input(p, static_cast<int>(rng() % 3), pkt), 1);
    }
}

}  // namespace
