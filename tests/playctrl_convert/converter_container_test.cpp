// MP4 and Matroska output: the H.264 packets are the recording's frames,
// byte for byte, from the first key frame; the sound is there; the duration
// is the recording's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/md5.h>
}

#include "playctrl/convert/file_converter.h"
#include "tests/playctrl_convert/convert_test_util.h"

using namespace playctrl::convert;
using namespace convert_test;

namespace {

_stConvertFile Job(const std::string& source, const std::string& target, int mode) {
    _stConvertFile job{};
    std::memcpy(job.source_path, source.data(), std::min(source.size(), kPathChars));
    std::memcpy(job.target_path, target.data(), std::min(target.size(), kPathChars));
    job.mode = mode;
    return job;
}

std::string Md5(const Bytes& data) {
    uint8_t sum[16];
    av_md5_sum(sum, data.data(), static_cast<int>(data.size()));
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", sum[i]);
    return text;
}

// The last field (the md5) of every packet line of ffmpeg's framemd5 output.
std::vector<std::string> PacketMd5s(const std::string& framemd5) {
    std::vector<std::string> out;
    std::istringstream lines(framemd5);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] != '#') out.push_back(line.substr(line.rfind(' ') + 1));
    return out;
}

struct ContainerCase {
    int mode;
    const char* file;
    const char* audio_codec;
    int frame_ms;  // capture times of the recording, one frame apart
};

void PrintTo(const ContainerCase& c, std::ostream* os) {
    *os << c.file;
}

class ConvertContainers : public testing::TestWithParam<ContainerCase> {};

}  // namespace

TEST_P(ConvertContainers, CopiesTheVideoKeepsTheSoundAndTheDuration) {
    const ContainerCase c = GetParam();
    if (Which("ffprobe").empty() || Which("ffmpeg").empty())
        GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    TempFolder dir;
    RecordingSpec spec;
    spec.frames = 40;
    spec.leading_skip = 4;  // starts mid-GOP: 6 frames before the first key frame
    spec.audio = true;      // 320 samples (40 ms) after every frame
    spec.time_extensions = true;
    spec.garbage = true;
    spec.frame_ms = c.frame_ms;
    const Recording rec = WriteRecording(dir.file("in.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    const std::string out = dir.file(c.file);

    // The engine of the C interface does not know these modes.
    CFileConverter plain;
    plain.RunJob(Job(rec.path, out, c.mode));
    EXPECT_FALSE(Exists(out));

    ConverterOptions options;
    options.container_modes = true;
    CFileConverter converter(options);
    converter.RunJob(Job(rec.path, out, c.mode));
    const JobReport report = converter.last_report();
    ASSERT_FALSE(report.failed) << report.error;
    EXPECT_EQ(report.samples_written, rec.key_onward());

    const RunResult probe =
        RunTool("ffprobe -v error -count_packets -show_streams -show_format '" + out + "'");
    ASSERT_EQ(probe.status, 0) << probe.output;
    ASSERT_EQ(CountOf(probe.output, "[STREAM]"), 2) << probe.output;
    const std::string audio = probe.output.substr(probe.output.find("[/STREAM]"));
    EXPECT_EQ(ProbeValue(probe.output, "codec_name"), "h264");
    EXPECT_EQ(ProbeValue(probe.output, "width"), "352");
    EXPECT_EQ(ProbeValue(probe.output, "nb_read_packets"), std::to_string(rec.key_onward()));
    EXPECT_EQ(ProbeValue(audio, "codec_name"), c.audio_codec);
    EXPECT_EQ(ProbeValue(audio, "sample_rate"), "8000");
    ASSERT_NE(probe.output.find("[FORMAT]"), std::string::npos);
    const double duration = std::atof(
        ProbeValue(probe.output.substr(probe.output.find("[FORMAT]")), "duration").c_str());
    const double frame = c.frame_ms / 1000.0;
    EXPECT_NEAR(duration, frame * static_cast<double>(rec.key_onward()), frame) << probe.output;

    const RunResult md5 = RunTool("ffmpeg -nostdin -v error -i '" + out +
                                  "' -map 0:v -c copy -bsf:v h264_mp4toannexb -f framemd5 -");
    ASSERT_EQ(md5.status, 0) << md5.output;
    const auto packets = PacketMd5s(md5.output);
    ASSERT_EQ(packets.size(), rec.key_onward()) << md5.output;
    for (std::size_t i = 0; i < packets.size(); ++i)
        EXPECT_EQ(packets[i], Md5(rec.frames[rec.first_key + i].data)) << "frame " << i;

    const RunResult decode = RunTool("ffmpeg -nostdin -v error -i '" + out + "' -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
}

// A stream with B-frames is stored in decode order; the container must show
// each picture at its own capture slot: presentation times rise in display
// order, decode times rise in file order and never pass them.
TEST_P(ConvertContainers, BFramesGetPresentationTimesInDisplayOrder) {
    const ContainerCase c = GetParam();
    TempFolder dir;
    RecordingSpec spec;
    spec.frames = 60;
    spec.gop = 30;
    spec.b_frames = 2;
    spec.audio = true;
    spec.frame_ms = c.frame_ms;
    const Recording rec = WriteRecording(dir.file("b.zyn"), spec);
    ASSERT_EQ(rec.first_key, 0u);
    const std::string out = dir.file(c.file);
    ConverterOptions options;
    options.container_modes = true;
    CFileConverter converter(options);
    converter.RunJob(Job(rec.path, out, c.mode));
    ASSERT_FALSE(converter.last_report().failed) << converter.last_report().error;

    AVFormatContext* format = nullptr;
    ASSERT_EQ(avformat_open_input(&format, out.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
    const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    ASSERT_GE(video, 0);
    const AVRational tb = format->streams[video]->time_base;
    auto ms = [&](int64_t t) { return av_rescale_q(t, tb, AVRational{1, 1000}); };
    std::vector<int64_t> pts, dts;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == video) {
            pts.push_back(ms(packet->pts));
            dts.push_back(packet->dts == AV_NOPTS_VALUE ? INT64_MIN : ms(packet->dts));
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    const int64_t duration_ms = ms(format->streams[video]->duration);
    avformat_close_input(&format);

    ASSERT_EQ(pts.size(), rec.frames.size());
    for (std::size_t i = 0; i < pts.size(); ++i) {
        // The picture stored i-th is shown at its own slot.
        EXPECT_EQ(pts[i], int64_t{rec.frames[i].index} * c.frame_ms) << "packet " << i;
        if (dts[i] == INT64_MIN) continue;  // Matroska stores presentation times only
        EXPECT_LE(dts[i], pts[i]) << "packet " << i;
        if (i > 0) {
            EXPECT_GT(dts[i], dts[i - 1]) << "packet " << i;
        }
    }
    std::vector<int64_t> shown = pts;
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(std::adjacent_find(shown.begin(), shown.end()), shown.end());  // no repeats
    EXPECT_NE(pts, shown);  // the file order is not the display order
    if (duration_ms > 0) {
        EXPECT_EQ(duration_ms, int64_t{spec.frames} * c.frame_ms);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ConvertContainers,
                         testing::Values(ContainerCase{kModeMp4, "out.mp4", "aac", 40},
                                         ContainerCase{kModeMatroska, "out.mkv", "pcm_mulaw", 50}),
                         [](const auto& info) { return std::string(info.param.file + 4); });

TEST(ConvertContainer, ARecordingWithoutKeyFramesFailsAndLeavesTheTarget) {
    TempFolder dir;
    RecordingSpec spec;
    spec.frames = 5;
    spec.leading_skip = 1;  // frames 1..5 of a GOP of 10: no key frame
    spec.audio = true;
    const Recording rec = WriteRecording(dir.file("nokey.zyn"), spec);
    ASSERT_EQ(rec.key_onward(), 0u);
    ConverterOptions options;
    options.container_modes = true;
    CFileConverter converter(options);
    for (const char* name : {"old.mp4", "old.mkv"}) {
        WriteFile(dir.file(name), Bytes{'o', 'l', 'd'});
        converter.RunJob(Job(rec.path, dir.file(name), name[5] == 'p' ? kModeMp4 : kModeMatroska));
        EXPECT_TRUE(converter.last_report().failed) << name;
        EXPECT_EQ(ReadFile(dir.file(name)), (Bytes{'o', 'l', 'd'})) << name;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}
