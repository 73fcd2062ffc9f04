// G.711 tables against FFmpeg's decoders and the reference encoder rule, and
// the audio frame header.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "renderkit/audio_format.h"
#include "renderkit/ffmpeg_util.h"
#include "renderkit/g711.h"

namespace {

// Decodes all 256 codes with FFmpeg's pcm_mulaw / pcm_alaw decoder.
std::vector<int16_t> FfmpegDecodeAllCodes(AVCodecID id) {
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = 8000;
    av_channel_layout_default(&ctx->ch_layout, 1);
    std::vector<int16_t> out;
    if (avcodec_open2(ctx, codec, nullptr) < 0) return out;
    std::vector<uint8_t> codes(256 + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    for (int i = 0; i < 256; ++i) codes[i] = static_cast<uint8_t>(i);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    packet->data = codes.data();
    packet->size = 256;
    if (avcodec_send_packet(ctx, packet) >= 0) {
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

TEST(G711, DecodersMatchFfmpegForEveryCode) {
    const auto mulaw = FfmpegDecodeAllCodes(AV_CODEC_ID_PCM_MULAW);
    const auto alaw = FfmpegDecodeAllCodes(AV_CODEC_ID_PCM_ALAW);
    ASSERT_EQ(mulaw.size(), 256u);
    ASSERT_EQ(alaw.size(), 256u);
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(renderkit::MulawDecode(static_cast<uint8_t>(c)), mulaw[c]) << "mu-law code " << c;
        EXPECT_EQ(renderkit::AlawDecode(static_cast<uint8_t>(c)), alaw[c]) << "A-law code " << c;
    }
}

TEST(G711, KnownValues) {
    EXPECT_EQ(renderkit::MulawDecode(0x00), -32124);
    EXPECT_EQ(renderkit::MulawDecode(0x80), 32124);
    EXPECT_EQ(renderkit::MulawDecode(0xFF), 0);
    EXPECT_EQ(renderkit::MulawEncode(0), 0xFF);
    EXPECT_EQ(renderkit::MulawEncode(32767), 0x80);
    EXPECT_EQ(renderkit::MulawEncode(-32768), 0x00);
    EXPECT_EQ(renderkit::AlawDecode(0xD5), 8);
    EXPECT_EQ(renderkit::AlawDecode(0x55), -8);
    EXPECT_EQ(renderkit::AlawDecode(0xAA), 32256);
    EXPECT_EQ(renderkit::AlawDecode(0x2A), -32256);
    EXPECT_EQ(renderkit::AlawEncode(0), 0xD5);
    EXPECT_EQ(renderkit::AlawEncode(-1), 0x55);
    EXPECT_EQ(renderkit::AlawEncode(32767), 0xAA);
    EXPECT_EQ(renderkit::AlawEncode(-32768), 0x2A);
}

// Every code's reconstruction value encodes back to the code (mu-law's
// negative zero 0x7F decodes to 0, which encodes as 0xFF).
TEST(G711, EveryCodeRoundTrips) {
    for (int c = 0; c < 256; ++c) {
        const auto code = static_cast<uint8_t>(c);
        if (c != 0x7F) {
            EXPECT_EQ(renderkit::MulawEncode(renderkit::MulawDecode(code)), code) << c;
        }
        EXPECT_EQ(renderkit::AlawEncode(renderkit::AlawDecode(code)), code) << c;
    }
}

// The encoders are monotonic and never further from the input than one
// quantisation step of the segment the input falls in.
TEST(G711, EncodersAreMonotonicWithBoundedError) {
    int last_mulaw = -40000, last_alaw = -40000;
    for (int x = -32768; x <= 32767; ++x) {
        const auto s = static_cast<int16_t>(x);
        const int mu = renderkit::MulawDecode(renderkit::MulawEncode(s));
        const int a = renderkit::AlawDecode(renderkit::AlawEncode(s));
        ASSERT_GE(mu, last_mulaw) << x;
        ASSERT_GE(a, last_alaw) << x;
        last_mulaw = mu;
        last_alaw = a;
        const int magnitude = std::abs(x);
        // Step sizes double per segment: mu-law 8..1024 (on 16-bit), A-law 16..1024.
        const int mu_step = magnitude < 32124 ? std::max(8, (magnitude + 132) / 16) : 2048;
        const int a_step = std::max(32, magnitude / 8);
        ASSERT_LE(std::abs(mu - x), mu_step) << x;
        ASSERT_LE(std::abs(a - x), a_step) << x;
    }
}

TEST(G711, BlockHelpersEqualSingleSamples) {
    std::vector<int16_t> pcm;
    for (int i = 0; i < 1000; ++i) pcm.push_back(static_cast<int16_t>(i * 65 - 32000));
    std::vector<uint8_t> mu(pcm.size()), a(pcm.size());
    renderkit::MulawEncodeBlock(pcm.data(), pcm.size(), mu.data());
    renderkit::AlawEncodeBlock(pcm.data(), pcm.size(), a.data());
    std::vector<int16_t> mu_back(pcm.size()), a_back(pcm.size());
    renderkit::MulawDecodeBlock(mu.data(), mu.size(), mu_back.data());
    renderkit::AlawDecodeBlock(a.data(), a.size(), a_back.data());
    for (size_t i = 0; i < pcm.size(); ++i) {
        ASSERT_EQ(mu[i], renderkit::MulawEncode(pcm[i]));
        ASSERT_EQ(a[i], renderkit::AlawEncode(pcm[i]));
        ASSERT_EQ(mu_back[i], renderkit::MulawDecode(mu[i]));
        ASSERT_EQ(a_back[i], renderkit::AlawDecode(a[i]));
    }
}

TEST(AudioFormat, NumbersAndFrameHeader) {
    EXPECT_EQ(renderkit::NormaliseAudioFormat(0), renderkit::kAudioFormatMulaw);
    EXPECT_EQ(renderkit::NormaliseAudioFormat(1), renderkit::kAudioFormatMulaw);
    EXPECT_EQ(renderkit::NormaliseAudioFormat(2), renderkit::kAudioFormatAlaw);
    EXPECT_EQ(renderkit::NormaliseAudioFormat(3), renderkit::kAudioFormatPcm16);
    EXPECT_EQ(renderkit::NormaliseAudioFormat(99), renderkit::kAudioFormatMulaw);
    EXPECT_EQ(renderkit::NormaliseAudioFormat(-1), renderkit::kAudioFormatMulaw);

    uint8_t block[324] = {};
    renderkit::WriteAudioFrameHeader(320, block);
    EXPECT_EQ(block[0], 0x00);
    EXPECT_EQ(block[1], 0x01);
    EXPECT_EQ(block[2], 0xA0);
    EXPECT_EQ(block[3], 0x00);
    EXPECT_EQ(renderkit::AudioFrameHeaderLength(block, 324), 4u);
    // A header whose length does not fit the block is audio, not a header.
    EXPECT_EQ(renderkit::AudioFrameHeaderLength(block, 323), 0u);
    EXPECT_EQ(renderkit::AudioFrameHeaderLength(block, 3), 0u);
    EXPECT_EQ(renderkit::AudioFrameHeaderLength(nullptr, 324), 0u);
    uint8_t big[4 + 1024] = {};
    renderkit::WriteAudioFrameHeader(1024, big);
    EXPECT_EQ(big[2], 0x00);
    EXPECT_EQ(big[3], 0x02);
    EXPECT_EQ(renderkit::AudioFrameHeaderLength(big, sizeof big), 4u);
}

TEST(AudioFormat, DecodeBlockByFormat) {
    const uint8_t pcm_bytes[] = {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80, 0x01};
    int16_t out[8] = {};
    ASSERT_EQ(renderkit::DecodeAudioBlock(3, pcm_bytes, sizeof pcm_bytes, out, 8), 3u);  // odd byte ignored
    EXPECT_EQ(out[0], 0x1234);
    EXPECT_EQ(out[1], -1);
    EXPECT_EQ(out[2], -32768);
    const uint8_t codes[] = {0x00, 0x80, 0xD5};
    ASSERT_EQ(renderkit::DecodeAudioBlock(2, codes, 3, out, 8), 3u);
    EXPECT_EQ(out[2], 8);
    ASSERT_EQ(renderkit::DecodeAudioBlock(1, codes, 3, out, 2), 2u);  // capacity respected
    EXPECT_EQ(out[0], -32124);
    EXPECT_EQ(renderkit::DecodeAudioBlock(1, nullptr, 3, out, 8), 0u);
}

}  // namespace
