// CTalk from SDL's disk capture input: the blocks must be the G.711 (or PCM)
// encoding of the input file, in order, with the documented framing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "renderkit/g711.h"
#include "renderkit/talk.h"
#include "tests/renderkit/test_util.h"

namespace {

constexpr int kWait = 10000;

struct Collector {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> blocks;
    static void ZYNVS_CALL OnBlock(const uint8_t* data, uint16_t length, void* user) {
        auto* self = static_cast<Collector*>(user);
        std::lock_guard lock(self->mutex);
        self->blocks.emplace_back(data, data + length);
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return blocks.size();
    }
};

class DiskTalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        in_path_ = rk_test::ArtifactPath(std::string("talk_in_") + info->name() + ".raw");
        out_path_ = rk_test::ArtifactPath(std::string("talk_out_") + info->name() + ".raw");
        // A recognisable input: a rising tone, never silent.
        input_.resize(8000);
        for (size_t i = 0; i < input_.size(); ++i) {
            input_[i] = static_cast<int16_t>(1000 + 9000 * std::sin(2 * M_PI * (200.0 + i / 20.0) * i / 8000.0));
        }
        std::vector<uint8_t> bytes;
        for (int16_t v : input_) bytes.insert(bytes.end(), {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)});
        ASSERT_TRUE(rk_test::WriteFile(in_path_, bytes));
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILEIN", in_path_.c_str(), 1);
        setenv("SDL_DISKAUDIOFILE", out_path_.c_str(), 1);
    }

    std::vector<std::vector<uint8_t>> Capture(uint8_t audio_format, size_t blocks) {
        CTalk talk;
        Collector collector;
        talk.SetFormat(1, audio_format);
        talk.RegisterTalkCallback(&Collector::OnBlock, &collector);
        EXPECT_EQ(talk.IsTalking(), 0);
        EXPECT_EQ(talk.StartTalk(), 1);
        EXPECT_NE(talk.IsTalking(), 0);
        EXPECT_TRUE(rk_test::WaitUntil([&] { return collector.count() >= blocks; }, kWait));
        EXPECT_EQ(talk.StopTalk(), 1);
        EXPECT_EQ(talk.IsTalking(), 0);
        RenderTalkStats s{};
        talk.GetStats(&s);
        EXPECT_EQ(s.blocks, collector.count());
        EXPECT_EQ(s.samples_dropped, 0u);
        std::lock_guard lock(collector.mutex);
        return collector.blocks;
    }

    std::string in_path_, out_path_;
    std::vector<int16_t> input_;
};

TEST_F(DiskTalkTest, MulawBlocksCarryTheHeaderAndTheEncodedInput) {
    const auto blocks = Capture(1, 10);
    ASSERT_GE(blocks.size(), 10u);
    for (size_t b = 0; b < 10; ++b) {
        ASSERT_EQ(blocks[b].size(), 324u) << b;
        EXPECT_EQ(blocks[b][0], 0x00);
        EXPECT_EQ(blocks[b][1], 0x01);
        EXPECT_EQ(blocks[b][2], 0xA0);
        EXPECT_EQ(blocks[b][3], 0x00);
        for (size_t i = 0; i < kTalkBlockSamples; ++i) {
            ASSERT_EQ(blocks[b][4 + i], renderkit::MulawEncode(input_[b * kTalkBlockSamples + i]))
                << "block " << b << " sample " << i;
        }
    }
}

TEST_F(DiskTalkTest, AlawBlocks) {
    const auto blocks = Capture(2, 5);
    ASSERT_GE(blocks.size(), 5u);
    for (size_t b = 0; b < 5; ++b) {
        ASSERT_EQ(blocks[b].size(), 324u);
        for (size_t i = 0; i < kTalkBlockSamples; ++i) {
            ASSERT_EQ(blocks[b][4 + i], renderkit::AlawEncode(input_[b * kTalkBlockSamples + i]));
        }
    }
}

TEST_F(DiskTalkTest, Pcm16BlocksHaveNoHeader) {
    const auto blocks = Capture(3, 3);
    ASSERT_GE(blocks.size(), 3u);
    for (size_t b = 0; b < 3; ++b) {
        ASSERT_EQ(blocks[b].size(), 640u);
        for (size_t i = 0; i < kTalkBlockSamples; ++i) {
            const int16_t v = static_cast<int16_t>(blocks[b][2 * i] | (blocks[b][2 * i + 1] << 8));
            ASSERT_EQ(v, input_[b * kTalkBlockSamples + i]);
        }
    }
}

TEST_F(DiskTalkTest, RestartAndCallbackChanges) {
    CTalk talk;
    Collector first, second;
    EXPECT_EQ(talk.StopTalk(), 1);  // not talking: nothing to do
    talk.RegisterTalkCallback(&Collector::OnBlock, &first);
    ASSERT_EQ(talk.StartTalk(), 1);
    EXPECT_EQ(talk.StartTalk(), 1);  // already capturing
    ASSERT_TRUE(rk_test::WaitUntil([&] { return first.count() >= 2; }, kWait));
    talk.RegisterTalkCallback(&Collector::OnBlock, &second);
    const size_t first_count = first.count();  // no call of `first` after Register returned
    ASSERT_TRUE(rk_test::WaitUntil([&] { return second.count() >= 2; }, kWait));
    EXPECT_EQ(first.count(), first_count);
    talk.RegisterTalkCallback(nullptr, nullptr);
    ASSERT_EQ(talk.StopTalk(), 1);
    ASSERT_EQ(talk.StartTalk(), 1);
    EXPECT_EQ(talk.BlockBytes(), 324);
    ASSERT_EQ(talk.StopTalk(), 1);
}

TEST(Talk, NoCaptureDeviceFailsToStart) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    CTalk talk;
    EXPECT_EQ(talk.StartTalk(), 0);
    EXPECT_EQ(talk.IsTalking(), 0);
    EXPECT_EQ(talk.StopTalk(), 1);
}

TEST(Talk, DummyDriverCapturesSilence) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    CTalk talk;
    Collector c;
    talk.SetFormat(1, 0);
    talk.RegisterTalkCallback(&Collector::OnBlock, &c);
    if (talk.StartTalk() == 0) GTEST_SKIP() << "SDL's dummy driver has no capture here";
    ASSERT_TRUE(rk_test::WaitUntil([&] { return c.count() >= 1; }, kWait));
    talk.StopTalk();
    std::lock_guard lock(c.mutex);
    EXPECT_LE(c.blocks[0].size(), kTalkMaxBlockBytes);
}

}  // namespace
