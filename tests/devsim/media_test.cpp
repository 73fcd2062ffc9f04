// The emulator's media sources: G.711 encoders (checked against FFmpeg's
// decoder), the test picture, the H.264 loops and the resolution codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "tests/devsim/peer.h"
#include "tools/devsim/g711.h"
#include "tools/devsim/test_pattern.h"
#include "tools/devsim/video_loop.h"

namespace {

using namespace devsim;
using devsim_test::ArtifactDir;
using devsim_test::HaveProgram;
using devsim_test::RunCommand;

TEST(G711, KnownCodes) {
    EXPECT_EQ(LinearToMuLaw(0), 0xFF);
    EXPECT_EQ(LinearToMuLaw(32767), 0x80);
    EXPECT_EQ(LinearToMuLaw(-32768), 0x00);
    EXPECT_EQ(LinearToALaw(0), 0xD5);
    EXPECT_EQ(LinearToALaw(-1), 0x55);
    EXPECT_EQ(LinearToALaw(32767), 0xAA);
}

TEST(G711, RoundTripStaysWithinTheQuantisationStep) {
    for (int s = -32768; s <= 32767; s += 7) {
        int mu = MuLawToLinear(LinearToMuLaw(static_cast<int16_t>(s)));
        int a = ALawToLinear(LinearToALaw(static_cast<int16_t>(s)));
        int tol = std::max(16, std::abs(s) / 16);
        ASSERT_NEAR(mu, std::clamp(s, -32635, 32635), tol) << s;
        ASSERT_NEAR(a, s, tol) << s;
    }
}

TEST(G711, FfmpegDecodesOurMuLawAndALaw) {
    if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    for (bool a_law : {false, true}) {
        std::vector<int16_t> pcm;
        std::vector<uint8_t> coded;
        for (int i = 0; i < 4000; ++i) {
            auto s = static_cast<int16_t>(std::lround(12000 * std::sin(i * 0.05)));
            pcm.push_back(s);
            coded.push_back(a_law ? LinearToALaw(s) : LinearToMuLaw(s));
        }
        std::string in = ArtifactDir() + (a_law ? "/devsim_g711.alaw" : "/devsim_g711.mulaw");
        std::string out = in + ".s16";
        std::ofstream(in, std::ios::binary)
            .write(reinterpret_cast<const char*>(coded.data()), coded.size());
        int status = 0;
        RunCommand(std::string("ffmpeg -v error -y -f ") + (a_law ? "alaw" : "mulaw") +
                       " -ar 8000 -ac 1 -i " + in + " -f s16le " + out + " 2>&1",
                   &status);
        ASSERT_EQ(status, 0);
        std::ifstream f(out, std::ios::binary);
        std::vector<int16_t> decoded(pcm.size());
        f.read(reinterpret_cast<char*>(decoded.data()), decoded.size() * 2);
        ASSERT_EQ(f.gcount(), static_cast<std::streamsize>(decoded.size() * 2));
        for (size_t i = 0; i < pcm.size(); ++i)
            ASSERT_NEAR(decoded[i], pcm[i], std::max(16, std::abs(pcm[i]) / 16)) << i;
    }
}

TEST(G711, ToneSecondLoopsWithoutAJump) {
    auto tone = EncodedToneSecond(400, false);
    ASSERT_EQ(tone.size(), 8000u);
    // 400 Hz at 8 kHz: a period of 20 samples, so sample 8000 would equal sample 0.
    EXPECT_EQ(tone[0], tone[20]);
    EXPECT_EQ(MuLawToLinear(tone[5]), MuLawToLinear(LinearToMuLaw(8000)));
}

TEST(TestPattern, RegionsHoldTheirColours) {
    Picture p;
    for (int ch = 0; ch < 4; ++ch) {
        RenderTestPattern(352, 288, ch, 0, 3, 10, &p);
        PatternLayout l = LayoutFor(352, 288);
        Yuv bg = ChannelColour(ch);
        const Rect& r = l.background_probe;
        for (int y = r.y; y < r.y + r.h; ++y)
            for (int x = r.x; x < r.x + r.w; ++x) ASSERT_EQ(p.y[y * 352 + x], bg.y);
        EXPECT_EQ(p.u[(r.y / 2) * 176 + r.x / 2], bg.u);
        EXPECT_EQ(p.v[(r.y / 2) * 176 + r.x / 2], bg.v);
        const Rect& w = l.white_patch;
        EXPECT_EQ(p.y[(w.y + w.h / 2) * 352 + w.x + w.w / 2], kWhite.y);
        int sx = SquareX(352, 288, 3, 10);
        EXPECT_EQ(p.y[(l.square_y + 2) * 352 + sx + 2], kYellow.y);
    }
    // The probe region never meets the moving square or the text box.
    PatternLayout l = LayoutFor(1920, 1080);
    EXPECT_LE(l.background_probe.y + l.background_probe.h, l.square_y);
    EXPECT_GE(l.background_probe.y, l.text_box.y + l.text_box.h);
}

TEST(TestPattern, FrameCounterIsDrawn) {
    Picture a, b;
    RenderTestPattern(352, 288, 0, 0, 1, 10, &a);
    RenderTestPattern(352, 288, 0, 0, 2, 10, &b);
    PatternLayout l = LayoutFor(352, 288);
    int differing = 0;
    for (int y = l.text_box.y; y < l.text_box.y + l.text_box.h; ++y)
        for (int x = l.text_box.x; x < l.text_box.x + l.text_box.w; ++x)
            differing += a.y[y * 352 + x] != b.y[y * 352 + x];
    EXPECT_GT(differing, 0);  // "0001" and "0002" differ
}

TEST(VideoLoop, FixedGopWithHeadersInEveryKeyFrame) {
    VideoLoopKey key{176, 144, 25, 100, 5, 10, 2, 0};
    std::string err;
    auto loop = GetVideoLoop(key, &err);
    ASSERT_TRUE(loop) << err;
    ASSERT_EQ(loop->frames.size(), 10u);
    for (size_t i = 0; i < loop->frames.size(); ++i) {
        const auto& f = loop->frames[i];
        EXPECT_EQ(f.key, i % 5 == 0) << i;
        bool sps = false, pps = false, idr = false;
        for (size_t k = 0; k + 3 < f.data.size(); ++k) {
            if (f.data[k] == 0 && f.data[k + 1] == 0 && f.data[k + 2] == 1) {
                int type = f.data[k + 3] & 0x1F;
                sps |= type == 7;
                pps |= type == 8;
                idr |= type == 5;
            }
        }
        EXPECT_EQ(sps && pps && idr, f.key) << i;
    }
    EXPECT_EQ(loop->GopStart(7), 5);
    EXPECT_EQ(loop->GopStart(4), 0);
    EXPECT_EQ(GetVideoLoop(key, &err).get(), loop.get());  // cached
}

TEST(VideoLoop, BadSizesAreRefused) {
    std::string err;
    EXPECT_FALSE(EncodeVideoLoop({351, 288, 25, 100, 5, 5, 0, 0}, &err));
    EXPECT_FALSE(err.empty());
    EXPECT_FALSE(EncodeVideoLoop({352, 288, 0, 100, 5, 5, 0, 0}, &err));
}

TEST(VideoLoop, ResolutionCodes) {
    EXPECT_EQ(ResolutionCode(1920, 1080), 5);
    EXPECT_EQ(ResolutionCode(1280, 720), 4);
    EXPECT_EQ(ResolutionCode(704, 576), 3);
    EXPECT_EQ(ResolutionCode(352, 288), 2);
    EXPECT_EQ(ResolutionCode(176, 144), 1);
    EXPECT_EQ(ResolutionCode(640, 480), 0);
    int w = 0, h = 0;
    EXPECT_TRUE(SizeOfResolutionCode(5, &w, &h));
    EXPECT_EQ(w, 1920);
    EXPECT_FALSE(SizeOfResolutionCode(6, &w, &h));
}

}  // namespace
