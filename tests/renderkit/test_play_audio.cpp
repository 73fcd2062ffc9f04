// CPlayAudio through SDL's disk driver: what reaches the "device" file must be
// exactly the PCM that FFmpeg's G.711 decoders make of the input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "renderkit/audio_format.h"
#include "renderkit/ffmpeg_util.h"
#include "renderkit/g711.h"
#include "renderkit/play_audio.h"
#include "tests/renderkit/test_util.h"

namespace {

constexpr int kWait = 10000;

std::vector<int16_t> Sine(size_t n, double amplitude) {
    std::vector<int16_t> pcm(n);
    for (size_t i = 0; i < n; ++i) {
        pcm[i] = static_cast<int16_t>(amplitude * std::sin(0.3 + 2 * M_PI * 440.0 * i / 8000.0));
    }
    return pcm;
}

// G.711 bytes decoded by FFmpeg (an implementation we did not write).
std::vector<int16_t> FfmpegDecode(AVCodecID id, const std::vector<uint8_t>& codes) {
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = 8000;
    av_channel_layout_default(&ctx->ch_layout, 1);
    std::vector<int16_t> out;
    std::vector<uint8_t> padded(codes);
    padded.resize(codes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    packet->data = padded.data();
    packet->size = static_cast<int>(codes.size());
    if (avcodec_open2(ctx, codec, nullptr) >= 0 && avcodec_send_packet(ctx, packet) >= 0) {
        while (avcodec_receive_frame(ctx, frame) >= 0) {
            const auto* s = reinterpret_cast<const int16_t*>(frame->data[0]);
            out.insert(out.end(), s, s + frame->nb_samples);
        }
    }
    packet->data = nullptr;
    packet->size = 0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return out;
}

class DiskAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        out_path_ = rk_test::ArtifactPath(std::string("audio_out_") + info->name() + ".raw");
        std::remove(out_path_.c_str());
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out_path_.c_str(), 1);
    }

    std::vector<int16_t> DeviceSamples() {
        const auto bytes = rk_test::ReadFile(out_path_);
        std::vector<int16_t> s(bytes.size() / 2);
        for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        return s;
    }

    // The device output without the silence SDL wrote before and after.
    std::vector<int16_t> Played(size_t expected) {
        std::vector<int16_t> played;
        rk_test::WaitUntil([&] {
            const auto all = DeviceSamples();
            size_t first = 0;
            while (first < all.size() && all[first] == 0) ++first;
            played.assign(all.begin() + static_cast<ptrdiff_t>(first), all.end());
            while (!played.empty() && played.back() == 0) played.pop_back();
            return played.size() >= expected && all.size() > first + expected + 1024;
        }, kWait);
        return played;
    }

    // Plays `blocks` one after another and returns what the device got.
    std::vector<int16_t> PlayBlocks(CPlayAudio& audio, const std::vector<std::vector<uint8_t>>& blocks,
                                    int type, size_t expected_samples) {
        for (const auto& b : blocks) EXPECT_EQ(audio.SendOneFrame(b.data(), static_cast<int>(b.size()), type), 1);
        EXPECT_EQ(audio.WaitPlayed(kWait), 1);
        return Played(expected_samples);
    }

    std::string out_path_;
};

// Cuts G.711 bytes into 320-byte blocks, with the audio frame header if asked.
std::vector<std::vector<uint8_t>> Blocks(const std::vector<uint8_t>& codes, bool header) {
    std::vector<std::vector<uint8_t>> blocks;
    for (size_t at = 0; at < codes.size(); at += 320) {
        const size_t n = std::min<size_t>(320, codes.size() - at);
        const size_t skip = header ? 4 : 0;
        std::vector<uint8_t> b(skip + n);
        if (header) renderkit::WriteAudioFrameHeader(n, b.data());
        std::copy_n(codes.begin() + static_cast<ptrdiff_t>(at), n, b.begin() + static_cast<ptrdiff_t>(skip));
        blocks.push_back(std::move(b));
    }
    return blocks;
}

TEST_F(DiskAudioTest, MulawBlocksWithAndWithoutHeaderPlayAsFfmpegDecodesThem) {
    const auto pcm = Sine(1600, 12000);
    std::vector<uint8_t> codes(pcm.size());
    renderkit::MulawEncodeBlock(pcm.data(), pcm.size(), codes.data());
    const auto expected = FfmpegDecode(AV_CODEC_ID_PCM_MULAW, codes);
    ASSERT_EQ(expected.size(), 1600u);
    CPlayAudio audio;
    ASSERT_EQ(audio.StartAudio(0, renderkit::kAudioFormatMulaw), 1);
    RenderAudioStats s{};
    audio.GetStats(&s);
    ASSERT_EQ(s.null_output, 0);
    auto blocks = Blocks(codes, true);
    blocks[1].erase(blocks[1].begin(), blocks[1].begin() + 4);  // one block without header
    const auto played = PlayBlocks(audio, blocks, 0, expected.size());
    EXPECT_EQ(played, expected);
    audio.GetStats(&s);
    EXPECT_EQ(s.blocks, 5u);
    EXPECT_EQ(s.samples_in, 1600u);
    EXPECT_EQ(s.samples_dropped, 0u);
    EXPECT_EQ(audio.StopAudio(), 1);
}

TEST_F(DiskAudioTest, AlawByStartFormatAndByBlockType) {
    const auto pcm = Sine(960, 20000);
    std::vector<uint8_t> codes(pcm.size());
    renderkit::AlawEncodeBlock(pcm.data(), pcm.size(), codes.data());
    const auto expected = FfmpegDecode(AV_CODEC_ID_PCM_ALAW, codes);
    CPlayAudio audio;
    // Started as mu-law, but every block says A-law (the player's codec byte).
    ASSERT_EQ(audio.StartAudio(0, renderkit::kAudioFormatMulaw), 1);
    EXPECT_EQ(PlayBlocks(audio, Blocks(codes, true), renderkit::kAudioFormatAlaw, expected.size()), expected);
}

TEST_F(DiskAudioTest, Pcm16AndVolume) {
    const auto pcm = Sine(800, 16000);
    std::vector<uint8_t> bytes;
    for (int16_t v : pcm) bytes.insert(bytes.end(), {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)});
    CPlayAudio audio;
    ASSERT_EQ(audio.StartAudio(0, renderkit::kAudioFormatPcm16), 1);
    ASSERT_EQ(audio.SetVolume(0x7FFF), 1);  // half
    std::vector<int16_t> expected;
    for (int16_t v : pcm) expected.push_back(static_cast<int16_t>(v / 2));
    EXPECT_EQ(PlayBlocks(audio, {bytes}, 0, expected.size()), expected);
}

TEST_F(DiskAudioTest, MuteSilencesButConsumes) {
    const auto pcm = Sine(1600, 12000);
    std::vector<uint8_t> codes(pcm.size());
    renderkit::MulawEncodeBlock(pcm.data(), pcm.size(), codes.data());
    CPlayAudio audio;
    ASSERT_EQ(audio.StartAudio(0, 1), 1);
    ASSERT_EQ(audio.SetMute(1), 1);
    for (const auto& b : Blocks(codes, true)) audio.SendOneFrame(b.data(), static_cast<int>(b.size()), 0);
    ASSERT_EQ(audio.WaitPlayed(kWait), 1);
    RenderAudioStats s{};
    audio.GetStats(&s);
    EXPECT_EQ(s.samples_played, 1600u);
    audio.StopAudio();
    for (int16_t v : DeviceSamples()) ASSERT_EQ(v, 0);
}

TEST_F(DiskAudioTest, BadArgumentsAndNotStarted) {
    CPlayAudio audio;
    const uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(audio.SendOneFrame(block, 8, 0), 0);  // not started
    ASSERT_EQ(audio.StartAudio(0, 1), 1);
    EXPECT_EQ(audio.StartAudio(0, 2), 1);  // again: only the format changes
    EXPECT_EQ(audio.SendOneFrame(nullptr, 8, 0), 0);
    EXPECT_EQ(audio.SendOneFrame(block, 0, 0), 0);
    EXPECT_EQ(audio.SendOneFrame(block, -1, 0), 0);
    std::vector<uint8_t> huge(70000, 0x55);
    EXPECT_EQ(audio.SendOneFrame(huge.data(), static_cast<int>(huge.size()), 0), 0);
    EXPECT_EQ(audio.SendOneFrame(block, 8, 77), 1);  // unknown type: the started format
    EXPECT_EQ(audio.StopAudio(), 1);
    EXPECT_EQ(audio.StopAudio(), 1);
    EXPECT_EQ(audio.SendOneFrame(block, 8, 0), 0);
}

TEST_F(DiskAudioTest, OverflowKeepsTheNewestSecond) {
    CPlayAudio audio;
    ASSERT_EQ(audio.StartAudio(0, renderkit::kAudioFormatPcm16), 1);
    audio.SetMute(1);
    std::vector<uint8_t> three_seconds(3 * 8000 * 2, 0x10);
    audio.SendOneFrame(three_seconds.data(), static_cast<int>(three_seconds.size() / 2), 0);
    audio.SendOneFrame(three_seconds.data(), static_cast<int>(three_seconds.size() / 2), 0);
    RenderAudioStats s{};
    audio.GetStats(&s);
    EXPECT_EQ(s.samples_in, 24000u);
    EXPECT_GE(s.samples_dropped, 24000u - 8000u - s.samples_played);
}

TEST(NullAudio, NoDeviceRunsSilently) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    CPlayAudio audio;
    ASSERT_EQ(audio.StartAudio(0, 1), 1);
    RenderAudioStats s{};
    audio.GetStats(&s);
    EXPECT_EQ(s.null_output, 1);
    const uint8_t block[320] = {};
    EXPECT_EQ(audio.SendOneFrame(block, 320, 0), 1);
    EXPECT_EQ(audio.WaitPlayed(100), 1);
    audio.GetStats(&s);
    EXPECT_EQ(s.samples_in, 320u);
    EXPECT_EQ(audio.SetVolume(100), 1);
    EXPECT_EQ(audio.SetMute(0), 1);
    EXPECT_EQ(audio.StopAudio(), 1);
}

TEST(NullAudio, UnwritableDiskFileMeansNullOutput) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/nonexistent-dir/out.raw", 1);
    CPlayAudio audio;
    ASSERT_EQ(audio.StartAudio(0, 1), 1);
    RenderAudioStats s{};
    audio.GetStats(&s);
    EXPECT_EQ(s.null_output, 1);
    const uint8_t block[160] = {};
    EXPECT_EQ(audio.SendOneFrame(block, 160, 0), 1);
}

TEST(NullAudio, ManyPlayersAtOnce) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<std::unique_ptr<CPlayAudio>> players;
    for (int i = 0; i < 8; ++i) {
        players.push_back(std::make_unique<CPlayAudio>());
        ASSERT_EQ(players.back()->StartAudio(0, i % 4), 1);
    }
    const uint8_t block[320] = {0x12};
    for (auto& p : players) EXPECT_EQ(p->SendOneFrame(block, 320, 0), 1);
    players.clear();  // destructors close their devices
    CPlayAudio again;
    EXPECT_EQ(again.StartAudio(0, 1), 1);
}

}  // namespace
