// What a file port shows, read back from the decoded pictures' bar codes, for
// libx264 streams with and without B-frames: every picture at full speed
// (nothing dropped, the held-back ones given out at the end of the file), and
// a step back that shows the previous frame alone, decoded from its key frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include <zynvs/ZynPlayCtrl.h>

#include "tests/playctrl/playctrl_test_util.h"
#include "tests/support/h264_test_stream.h"

namespace {

constexpr int kWait = 10000;

// Bar codes of the pictures the port's video object gave out to be shown.
class ShownPictures {
public:
    explicit ShownPictures(CPlayVideo& video) { video.RegisterDecCallback(&On, 0, this); }
    std::vector<int> bars() const {
        std::lock_guard lock(mutex_);
        return bars_;
    }
    std::size_t count() const { return bars().size(); }

private:
    static void ZYNVS_CALL On(const void* frame, uint16_t, int, void* user) {
        auto* self = static_cast<ShownPictures*>(user);
        const auto* p = static_cast<const ZynDecodedPicture*>(frame);
        std::lock_guard lock(self->mutex_);
        self->bars_.push_back(
            zyn_test::ReadBarCode(p->planes[0], p->strides[0], p->width, p->height));
    }
    mutable std::mutex mutex_;
    std::vector<int> bars_;
};

class DecodedPlayback : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        playctrl::PortTable::Instance().Clear();
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        zyn_test::H264StreamOptions o;
        o.frames = 40;
        o.gop = 20;
        o.b_frames = GetParam();
        frames_ = zyn_test::MakeH264Stream(o);
        ASSERT_EQ(frames_.size(), 40u);
        const std::string path = dir_.Path("b.zyn");
        ASSERT_TRUE(pc_test::WriteFile(path, pc_test::H264Recording(frames_)));
        port_number_ = ZYNVS_PlAY_OpenFile(0, path.c_str());
        ASSERT_GT(port_number_, 0);
        port_ = pc_test::Port(port_number_);
        port_->set_pacing(false);  // the reader outruns the decoder
        shown_ = std::make_unique<ShownPictures>(port_->video());
    }
    void TearDown() override { playctrl::PortTable::Instance().Clear(); }

    bool WaitHeld(uint64_t handed) {
        return pc_test::WaitUntil([&] {
            return port_->frames_handed_on() >= handed && port_->held() && port_->idle_in_hold();
        });
    }
    // Display indices of the frames in records [from, to), in display order.
    std::vector<int> Indices(std::size_t from, std::size_t to) const {
        std::vector<int> v;
        for (std::size_t i = from; i < to; ++i) v.push_back(frames_[i].index);
        std::sort(v.begin(), v.end());
        return v;
    }

    pc_test::TempDir dir_;
    std::vector<zyn_test::H264Frame> frames_;
    int port_number_ = 0;
    std::shared_ptr<playctrl::CImageDraw> port_;
    std::unique_ptr<ShownPictures> shown_;
};

TEST_P(DecodedPlayback, EveryPictureIsShownAndTheLastOneStays) {
    ZYNVS_PlAY_Play(port_number_, 0);
    ASSERT_TRUE(port_->WaitPlaybackEnded(kWait));
    RenderVideoStats s{};
    port_->video().GetStats(&s);
    EXPECT_EQ(s.frames_dropped, 0u);
    EXPECT_EQ(shown_->bars(), Indices(0, frames_.size()));
    // The snapshot at the end of the file is the last picture.
    const std::string shot = dir_.Path("end.bmp");
    EXPECT_EQ(ZYNVS_PLAY_CapPic(port_number_, shot.c_str(), 1), 1);
    ASSERT_FALSE(shown_->bars().empty());
    EXPECT_EQ(shown_->bars().back(), 39);
}

TEST_P(DecodedPlayback, StepBackShowsThePreviousFrameAloneAndPlayGoesOnFromIt) {
    ZYNVS_PlAY_OneByOne(port_number_);
    ZYNVS_PlAY_Play(port_number_, 0);
    ASSERT_TRUE(WaitHeld(1));
    for (uint64_t k = 2; k <= 16; ++k) {  // records 0..15 handed on
        ZYNVS_PlAY_OneByOne(port_number_);
        ASSERT_TRUE(WaitHeld(k));
    }
    ASSERT_EQ(port_->video().WaitIdle(kWait), 1);
    const std::size_t before = shown_->count();
    ZYNVS_PlAY_OneByOneBack(port_number_);
    ASSERT_TRUE(WaitHeld(17));
    // Decoded from the key frame (record 0) with nothing in between shown.
    auto bars = shown_->bars();
    ASSERT_EQ(bars.size(), before + 1);
    EXPECT_EQ(bars.back(), frames_[14].index);
    // Going on shows the rest, from record 15, without gaps or repeats.
    ZYNVS_PlAY_Play(port_number_, 0);
    ASSERT_TRUE(port_->WaitPlaybackEnded(kWait));
    bars = shown_->bars();
    EXPECT_EQ(std::vector<int>(bars.begin() + static_cast<long>(before) + 1, bars.end()),
              Indices(15, frames_.size()));
}

INSTANTIATE_TEST_SUITE_P(BFrames, DecodedPlayback, ::testing::Values(0, 2),
                         [](const auto& info) { return "b" + std::to_string(info.param); });

}  // namespace
