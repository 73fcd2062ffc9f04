// MP4 and Matroska output: the H.264 packets are the recording's frames,
// byte for byte, from the first key frame; the sound is there; the duration
// is the recording's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern "C" {
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
