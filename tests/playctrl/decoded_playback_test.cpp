// What a file port shows, read back from the decoded pictures' bar codes, for
// libx264 streams with and without B-frames, in a native recording, in an AVI
// written by the SDK's recorder, and in such an AVI cut off in the middle of a
// frame as a killed recorder leaves it: every whole picture at full speed
// (nothing dropped, the held-back ones given out at the end of the file), and
// single steps that show one picture each, and a step back that shows the
// previous frame alone, decoded from its key frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <tuple>

#include <zynvs/ZynPlayCtrl.h>

#include "decodekit/platform/avi_file.h"
#include "tests/playctrl/playctrl_test_util.h"
#include "tests/support/h264_test_stream.h"

namespace {

constexpr int kWait = 10000;
constexpr std::size_t kFrames = 40;
constexpr std::size_t kCutFrames = 33;  // a cut AVI keeps this many whole frames

enum class FileKind { kNative, kAvi, kCutAvi };
const char* const kKindNames[] = {"native", "avi", "cut_avi"};
void PrintTo(FileKind k, std::ostream* out) {
    *out << kKindNames[static_cast<int>(k)];
}

// The frames through the SDK's AVI recorder. A cut file is what the recorder
// leaves when it is killed: no index, sizes and counts still provisional, and
// the frame after the last whole one written in part.
std::vector<uint8_t> AviRecording(const std::vector<zyn_test::H264Frame>& frames,
                                  const std::string& path, bool cut) {
    CAviFile avi;
    if (avi.Open(path.c_str(), decodekit::kRecordModeAvi, 0) != 1) return {};
    std::vector<std::size_t> ends;  // where each frame's chunk ends
    std::size_t end = decodekit::kAviHeaderBytes;
    for (const auto& f : frames) {
        avi.WriteFrame(f.data.data(), f.data.size(), 0, f.key ? 1 : 0);
        end += 8 + f.data.size() + (f.data.size() & 1);
        ends.push_back(end);
    }
    avi.Close();
    std::vector<uint8_t> bytes = pc_test::ReadFile(path);
    if (!cut) return bytes;
    bytes.resize(ends[kCutFrames - 1] + 8 + frames[kCutFrames].data.size() / 2);
    for (std::size_t at : {4u, 216u}) zyn::wire::StoreLe32(bytes.data() + at, 0xFFFFFFFFu);
    for (std::size_t at : {48u, 140u}) zyn::wire::StoreLe32(bytes.data() + at, 0);
    return bytes;
}

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

class DecodedPlayback : public ::testing::TestWithParam<std::tuple<int, FileKind>> {
protected:
    void SetUp() override {
        playctrl::PortTable::Instance().Clear();
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        zyn_test::H264StreamOptions o;
        o.frames = kFrames;
        o.gop = 20;
        o.b_frames = std::get<0>(GetParam());
        frames_ = zyn_test::MakeH264Stream(o);
        ASSERT_EQ(frames_.size(), kFrames);
        const FileKind kind = std::get<1>(GetParam());
        const std::string path = dir_.Path(kind == FileKind::kNative ? "b.zyn" : "b.avi");
        const std::vector<uint8_t> bytes =
            kind == FileKind::kNative ? pc_test::H264Recording(frames_)
                                      : AviRecording(frames_, path, kind == FileKind::kCutAvi);
        ASSERT_TRUE(pc_test::WriteFile(path, bytes));
        whole_ = kind == FileKind::kCutAvi ? kCutFrames : kFrames;
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
    std::size_t whole_ = 0;  // whole frames in the file
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
    const std::vector<int> expected = Indices(0, whole_);
    EXPECT_EQ(shown_->bars(), expected);
    EXPECT_EQ(port_->frames_handed_on(), whole_);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(port_number_), 100);
    // The snapshot at the end of the file is the last picture.
    const std::string shot = dir_.Path("end.bmp");
    EXPECT_EQ(ZYNVS_PLAY_CapPic(port_number_, shot.c_str(), 1), 1);
    ASSERT_FALSE(shown_->bars().empty());
    EXPECT_EQ(shown_->bars().back(), expected.back());
}

TEST_P(DecodedPlayback, StepsShowOnePictureEachAndStepBackShowsThePreviousFrameAlone) {
    ZYNVS_PlAY_OneByOne(port_number_);
    ZYNVS_PlAY_Play(port_number_, 0);
    for (std::size_t k = 1; k <= 16; ++k) {
        if (k > 1) ZYNVS_PlAY_OneByOne(port_number_);
        ASSERT_TRUE(WaitHeld(k));
        // Each step shows the next picture at once (a decoder that reorders
        // is fed on until it gives one out), in display order.
        ASSERT_EQ(shown_->count(), k);
    }
    EXPECT_EQ(shown_->bars(), Indices(0, 16));
    const std::size_t handed = port_->frames_handed_on();  // records 0 .. handed - 1
    const std::size_t before = shown_->count();
    ZYNVS_PlAY_OneByOneBack(port_number_);
    ASSERT_TRUE(WaitHeld(handed + 1));
    // Decoded from the key frame (record 0) with nothing in between shown.
    auto bars = shown_->bars();
    ASSERT_EQ(bars.size(), before + 1);
    EXPECT_EQ(bars.back(), frames_[handed - 2].index);
    // Going on shows the rest, from the record after it, without gaps or repeats.
    ZYNVS_PlAY_Play(port_number_, 0);
    ASSERT_TRUE(port_->WaitPlaybackEnded(kWait));
    bars = shown_->bars();
    EXPECT_EQ(std::vector<int>(bars.begin() + static_cast<long>(before) + 1, bars.end()),
              Indices(handed - 1, whole_));
}

std::string CaseName(const std::tuple<int, FileKind>& c) {
    return "b" + std::to_string(std::get<0>(c)) + "_" +
           kKindNames[static_cast<int>(std::get<1>(c))];
}

INSTANTIATE_TEST_SUITE_P(BFrames, DecodedPlayback,
                         ::testing::Combine(::testing::Values(0, 2),
                                            ::testing::Values(FileKind::kNative, FileKind::kAvi,
                                                              FileKind::kCutAvi)),
                         [](const auto& info) { return CaseName(info.param); });

}  // namespace
