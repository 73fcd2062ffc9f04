// AVI recordings cut off as by kill -9 (the writer never finished: no index,
// sizes unknown, the last frame half written) are finished by the repair:
// ffprobe then counts every whole frame and the duration that goes with it.
#include "mediafile/avi_repair.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "decodekit/platform/avi_file.h"
#include "playctrl/convert/avi_stream_writer.h"
#include "tests/support/h264_test_stream.h"
#include "tests/support/run_tool.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFrames = 30;

const std::vector<zyn_test::H264Frame>& Stream() {
    static const auto frames = [] {
        zyn_test::H264StreamOptions o;
        o.frames = kFrames;
        o.gop = 10;
        return zyn_test::MakeH264Stream(o);
    }();
    return frames;
}

// Writes every frame with `write`, then copies the file as it stands (the
// writer still open, as a killed process leaves it) minus `cut` bytes.
using Writer = std::function<void(const std::string& path, const std::function<void()>& crash)>;

struct Case {
    const char* name;
    Writer write;
    // Every frame but the cut one reached the file (an unbuffered writer);
    // else some were still in the writer's buffer when it was "killed".
    bool all_written;
};

// Test names carry the case name, not a dump of its bytes.
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Probe(const std::string& path, const char* entries) {
    const std::string ffprobe = zyn_test::Which("ffprobe");
    return zyn_test::RunTool(ffprobe +
                             " -v quiet -count_frames -select_streams v:0 -show_entries " +
                             entries + " -of csv=p=0 '" + path + "'")
        .output;
}

class AviRepair : public ::testing::TestWithParam<Case> {};

TEST_P(AviRepair, ACutOffRecordingGetsItsIndexAndSizes) {
    if (zyn_test::Which("ffprobe").empty()) GTEST_SKIP() << "ffprobe not installed";
    const fs::path dir =
        fs::path(testing::TempDir()) / ("zynvs-repair-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "rec.avi").string();
    const std::string cut = (dir / "cut.avi").string();
    GetParam().write(path, [&] {
        // The last frame loses its last 100 bytes.
        fs::copy_file(path, cut, fs::copy_options::overwrite_existing);
        fs::resize_file(cut, fs::file_size(cut) - 100);
    });
    ASSERT_TRUE(fs::exists(cut));

    // The conversion reads the cut-off file as it is (no index, no sizes).
    const std::string converted = (dir / "converted.avi").string();
    const auto convert = zyn_test::RunTool(std::string(ZYNVS_BIN) + " convert '" + cut + "' '" +
                                           converted + "' --mode avi");
    EXPECT_EQ(convert.status, 0) << convert.output;

    const mediafile::AviRepairReport r = mediafile::RepairAvi(cut);
    ASSERT_TRUE(r.ok) << r.error;
    const int frames = static_cast<int>(r.video_chunks);
    if (GetParam().all_written) {
        EXPECT_EQ(frames, kFrames - 1);
    }
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, kFrames);
    EXPECT_GT(r.cut_bytes, 0u);
    EXPECT_EQ(fs::file_size(cut), r.file_bytes);
    // ffprobe: the whole frames, 25 per second, in a file with an index.
    EXPECT_EQ(Probe(cut, "stream=nb_frames,nb_read_frames"),
              std::to_string(frames) + "," + std::to_string(frames) + "\n");
    EXPECT_EQ(Probe(converted, "stream=nb_read_frames"), std::to_string(frames) + "\n");
    const double duration = std::atof(Probe(cut, "stream=duration").c_str());
    EXPECT_NEAR(duration, frames / 25.0, 0.05);
    // Repairing a finished file changes nothing that matters; `zynvs repair` says so.
    const auto again = zyn_test::RunTool(std::string(ZYNVS_BIN) + " repair '" + cut + "'");
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_NE(again.output.find(std::to_string(frames) + " video frames"), std::string::npos)
        << again.output;
    EXPECT_EQ(fs::file_size(cut), r.file_bytes);
    EXPECT_NE(
        zyn_test::RunTool(std::string(ZYNVS_BIN) + " repair '" + (dir / "none").string() + "'")
            .status,
        0);
    fs::remove_all(dir);
}

const Case kCases[] = {
    {"recorder",
     [](const std::string& path, const std::function<void()>& crash) {
         CAviFile file;
         ASSERT_EQ(file.Open(path.c_str(), decodekit::kRecordModeAvi, 0), 1);
         for (const auto& f : Stream())
             ASSERT_EQ(file.WriteFrame(f.data.data(), f.data.size(), 0, f.key), 1);
         crash();
     },
     true},
    {"conversion",
     [](const std::string& path, const std::function<void()>& crash) {
         playctrl::convert::CAviStreamWriter w;
         ASSERT_EQ(w.Open(path.c_str()), 0);
         ASSERT_EQ(w.AddVideoStream(320, 240, 25, 1, 4), 0);
         ASSERT_EQ(w.AddAudioStream(8000, 16, 1, 2), 0);
         const std::vector<uint8_t> audio(320, 0xD5);
         for (const auto& f : Stream()) {
             ASSERT_EQ(w.WriteAudio(audio.data(), audio.size()), 0);
             ASSERT_EQ(w.WriteVideo(f.data.data(), f.data.size(), f.key), 0);
         }
         crash();
     },
     false},
};

INSTANTIATE_TEST_SUITE_P(Writers, AviRepair, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
