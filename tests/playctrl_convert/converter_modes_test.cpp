// The three conversions, run one job at a time on the test's thread, checked
// byte by byte and with ffprobe/ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "playctrl/convert/file_converter.h"
#include "tests/playctrl_convert/convert_test_util.h"

using namespace playctrl::convert;
using namespace convert_test;

namespace {

_stConvertFile Job(const std::string& source, const std::string& target, int mode, int first = 0,
                   int second = 0) {
    _stConvertFile job{};
    std::memcpy(job.source_path, source.data(), std::min(source.size(), kPathChars));
    std::memcpy(job.target_path, target.data(), std::min(target.size(), kPathChars));
    job.mode = mode;
    job.first_value = first;
    job.second_value = second;
    return job;
}

struct AviSample {
    Bytes data;
    bool key;
};

// The samples of a video-only AVI with the 224-byte header, in index order.
std::vector<AviSample> AviSamples(const Bytes& f) {
    std::vector<AviSample> out;
    if (f.size() < 232 || TagAt(f, 220) != "movi") return out;
    const std::size_t idx = 220 + Le32(f, 216);
    if (TagAt(f, idx) != "idx1") return out;
    for (std::size_t e = idx + 8; e + 16 <= f.size(); e += 16) {
        const uint32_t at = Le32(f, e + 8), len = Le32(f, e + 12);
        if (TagAt(f, at) != "00dc" || Le32(f, at + 4) != len) return {};
        out.push_back({Bytes(f.begin() + at + 8, f.begin() + at + 8 + len), Le32(f, e + 4) == 0x10});
    }
    return out;
}

bool HaveTools() { return !Which("ffprobe").empty() && !Which("ffmpeg").empty(); }

class ConvertModes : public testing::Test {
protected:
    TempFolder dir_;
    CFileConverter converter_;
};

}  // namespace

TEST_F(ConvertModes, AviStartsAtTheFirstKeyFrameAndDeclaresTheStreamsPictureSize) {
    RecordingSpec spec;
    spec.frames = 40;
    spec.leading_skip = 4;  // the file starts mid-GOP: 6 frames before the first key frame
    spec.audio = true;
    spec.time_extensions = true;
    spec.garbage = true;
    const Recording rec = WriteRecording(dir_.file("in.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    ASSERT_EQ(rec.first_key, 6u);
    const std::string out = dir_.file("out.avi");
    converter_.RunJob(Job(rec.path, out, kModeAvi));
    const JobReport report = converter_.last_report();
    EXPECT_FALSE(report.failed);
    EXPECT_EQ(report.bytes_read, rec.size);
    EXPECT_EQ(report.video_records, rec.frames.size());
    EXPECT_EQ(report.audio_records, rec.audio_records);
    EXPECT_TRUE(report.size_from_stream);

    const Bytes f = ReadFile(out);
    const auto samples = AviSamples(f);
    ASSERT_EQ(samples.size(), rec.key_onward());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].data, rec.frames[rec.first_key + i].data) << i;
        EXPECT_EQ(samples[i].key, rec.frames[rec.first_key + i].key) << i;
    }
    EXPECT_EQ(Le32(f, 56), 1u);  // one stream, video
    EXPECT_EQ(TagAt(f, 108), "vids");
    EXPECT_EQ(TagAt(f, 112), "H264");
    for (std::size_t at : {64, 176}) {
        EXPECT_EQ(Le32(f, at), 352u) << at;
        EXPECT_EQ(Le32(f, at + 4), 288u) << at;
    }
    EXPECT_EQ(Le16(f, 160), 352u);
    EXPECT_EQ(Le16(f, 162), 288u);

    if (!HaveTools()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    const RunResult probe = RunTool("ffprobe -v error -count_frames -count_packets -show_streams '" + out + "'");
    ASSERT_EQ(probe.status, 0) << probe.output;
    EXPECT_EQ(CountOf(probe.output, "[STREAM]"), 1) << probe.output;
    EXPECT_EQ(ProbeValue(probe.output, "codec_type"), "video");
    EXPECT_EQ(ProbeValue(probe.output, "codec_name"), "h264");
    EXPECT_EQ(ProbeValue(probe.output, "codec_tag_string"), "H264");
    EXPECT_EQ(ProbeValue(probe.output, "width"), "352");
    EXPECT_EQ(ProbeValue(probe.output, "height"), "288");
    EXPECT_EQ(ProbeValue(probe.output, "nb_read_packets"), std::to_string(rec.key_onward()));
    EXPECT_EQ(ProbeValue(probe.output, "nb_read_frames"), std::to_string(rec.key_onward()));
    const RunResult decode = RunTool("ffmpeg -nostdin -v error -i '" + out + "' -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
}

TEST_F(ConvertModes, AviFromRecordsWithoutHeaderAndAtAnotherSize) {
    RecordingSpec spec;
    spec.width = 640;
    spec.height = 360;
    spec.frames = 12;
    spec.native_header = false;
    const Recording rec = WriteRecording(dir_.file("raw.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    ASSERT_EQ(rec.first_key, 0u);
    const std::string out = dir_.file("raw.avi");
    converter_.RunJob(Job(rec.path, out, kModeAvi));
    const Bytes f = ReadFile(out);
    const auto samples = AviSamples(f);
    ASSERT_EQ(samples.size(), 12u);
    EXPECT_EQ(samples[0].data, rec.frames[0].data);
    EXPECT_EQ(Le32(f, 176), 640u);
    EXPECT_EQ(Le32(f, 180), 360u);
}

TEST_F(ConvertModes, AviOfARecordingWithoutKeyFramesStillHasItsOneStream) {
    RecordingSpec spec;
    spec.frames = 5;
    spec.leading_skip = 1;  // frames 1..5 of a GOP of 10: no key frame
    const Recording rec = WriteRecording(dir_.file("nokey.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    ASSERT_EQ(rec.key_onward(), 0u);
    const std::string out = dir_.file("nokey.avi");
    converter_.RunJob(Job(rec.path, out, kModeAvi));
    const Bytes f = ReadFile(out);
    ASSERT_EQ(f.size(), 232u);
    EXPECT_EQ(Le32(f, 56), 1u);
    EXPECT_EQ(TagAt(f, 112), "H264");
    EXPECT_EQ(Le32(f, 48), 0u);
    // The SDK's header carries no size: the default is declared.
    EXPECT_EQ(Le32(f, 176), 1280u);
    EXPECT_EQ(Le32(f, 180), 720u);
    EXPECT_EQ(converter_.last_report().frames, 0u);
}

TEST_F(ConvertModes, AMissingSourceLeavesAnExistingTargetAlone) {
    const std::string out = dir_.file("keep.avi");
    WriteFile(out, Bytes(100, 'k'));
    for (int mode : {kModeAvi, kModeTranscode, kModeClip}) {
        converter_.RunJob(Job(dir_.file("missing.zyn"), out, mode, 0, 100));
        EXPECT_TRUE(converter_.last_report().failed);
        EXPECT_EQ(ReadFile(out), Bytes(100, 'k')) << mode;
    }
}

TEST_F(ConvertModes, TranscodeGivesMpeg2At704x576WithEveryFrameFlushed) {
    RecordingSpec spec;
    spec.frames = 30;
    spec.leading_skip = 3;
    const Recording rec = WriteRecording(dir_.file("v.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    ASSERT_EQ(rec.first_key, 7u);
    const std::string out = dir_.file("v.mpg");
    converter_.RunJob(Job(rec.path, out, kModeTranscode));
    const JobReport report = converter_.last_report();
    EXPECT_FALSE(report.failed);
    EXPECT_EQ(report.frames, rec.key_onward());
    // Pictures held back by the decoder and the encoder are in the file too.
    EXPECT_EQ(report.pictures_decoded, rec.key_onward());
    EXPECT_GT(report.video_bytes_out, 0u);
    EXPECT_EQ(report.audio_bytes_out, 0u);
    const Bytes f = ReadFile(out);
    ASSERT_GE(f.size(), 4u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 4), (Bytes{0, 0, 1, 0xB3}));  // sequence header

    if (!HaveTools()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    const RunResult probe =
        RunTool("ffprobe -v error -f mpegvideo -count_frames -show_streams '" + out + "'");
    ASSERT_EQ(probe.status, 0) << probe.output;
    EXPECT_EQ(ProbeValue(probe.output, "codec_name"), "mpeg2video");
    EXPECT_EQ(ProbeValue(probe.output, "width"), "704");
    EXPECT_EQ(ProbeValue(probe.output, "height"), "576");
    EXPECT_EQ(ProbeValue(probe.output, "nb_read_frames"), std::to_string(rec.key_onward()));
    const RunResult decode = RunTool("ffmpeg -nostdin -v error -f mpegvideo -i '" + out + "' -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
}

TEST_F(ConvertModes, TranscodeSignalsTheShapeOfTheSource) {
    if (!HaveTools()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    // Source size -> display aspect the 704 x 576 sequence header must give.
    const struct {
        int width, height;
        const char* aspect;
    } cases[] = {{1280, 720, "16:9"}, {640, 480, "4:3"}};
    for (const auto& c : cases) {
        RecordingSpec spec;
        spec.width = c.width;
        spec.height = c.height;
        spec.frames = 3;
        const Recording rec = WriteRecording(dir_.file("shape.zyn"), spec);
        ASSERT_FALSE(rec.path.empty());
        const std::string out = dir_.file("shape.mpg");
        converter_.RunJob(Job(rec.path, out, kModeTranscode));
        const RunResult probe = RunTool("ffprobe -v error -f mpegvideo -show_streams '" + out + "'");
        EXPECT_EQ(ProbeValue(probe.output, "display_aspect_ratio"), c.aspect) << c.width;
        EXPECT_EQ(ProbeValue(probe.output, "width"), "704");
    }
}

TEST_F(ConvertModes, TranscodeCarriesTheAudioAsMp2At16kHz) {
    RecordingSpec spec;
    spec.frames = 50;
    spec.audio = true;
    const Recording rec = WriteRecording(dir_.file("av.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    const std::string out = dir_.file("av.mpg");
    ConverterOptions options;
    options.log_writes = true;
    CFileConverter converter(options);
    converter.RunJob(Job(rec.path, out, kModeTranscode));
    const JobReport report = converter.last_report();
    EXPECT_EQ(report.audio_records, rec.audio_records);
    EXPECT_EQ(report.pictures_decoded, rec.key_onward());
    ASSERT_GT(report.audio_bytes_out, 0u);

    // The file is the pieces written, back to back; split it into its two media.
    const Bytes f = ReadFile(out);
    Bytes video, audio;
    uint64_t at = 0;
    bool interleaved = false, seen_audio = false;
    for (const WriteSpan& w : report.writes) {
        ASSERT_EQ(w.offset, at);
        ASSERT_LE(w.offset + w.bytes, f.size());
        (w.audio ? audio : video).insert((w.audio ? audio : video).end(), f.begin() + w.offset,
                                         f.begin() + w.offset + w.bytes);
        if (!w.audio && seen_audio) interleaved = true;
        seen_audio = seen_audio || w.audio;
        at += w.bytes;
    }
    EXPECT_EQ(at, f.size());
    EXPECT_TRUE(interleaved);  // in the order of the source records
    EXPECT_EQ(audio.size(), report.audio_bytes_out);
    // 8 kHz G.711 resampled to 16 kHz, 1152 samples per MP2 frame, the last one padded.
    const std::size_t mp2_frames = (rec.audio_samples * 2 + 1151) / 1152;

    if (!HaveTools()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    const std::string mp2 = dir_.file("av.mp2"), m2v = dir_.file("av.m2v");
    WriteFile(mp2, audio);
    WriteFile(m2v, video);
    const RunResult a = RunTool("ffprobe -v error -f mp3 -count_frames -show_streams '" + mp2 + "'");
    ASSERT_EQ(a.status, 0) << a.output;
    EXPECT_EQ(ProbeValue(a.output, "codec_name"), "mp2");
    EXPECT_EQ(ProbeValue(a.output, "sample_rate"), "16000");
    EXPECT_EQ(ProbeValue(a.output, "channels"), "1");
    EXPECT_EQ(ProbeValue(a.output, "bit_rate"), "64000");
    EXPECT_EQ(ProbeValue(a.output, "nb_read_frames"), std::to_string(mp2_frames));
    const RunResult v =
        RunTool("ffprobe -v error -f mpegvideo -count_frames -show_streams '" + m2v + "'");
    ASSERT_EQ(v.status, 0) << v.output;
    EXPECT_EQ(ProbeValue(v.output, "codec_name"), "mpeg2video");
    EXPECT_EQ(ProbeValue(v.output, "width"), "704");
    EXPECT_EQ(ProbeValue(v.output, "height"), "576");
    EXPECT_EQ(ProbeValue(v.output, "nb_read_frames"), std::to_string(rec.key_onward()));
    for (const auto& [format, path] : {std::pair{"mp3", mp2}, std::pair{"mpegvideo", m2v}}) {
        const RunResult d =
            RunTool(std::string("ffmpeg -nostdin -v error -f ") + format + " -i '" + path + "' -f null -");
        EXPECT_EQ(d.status, 0) << format;
        EXPECT_EQ(d.output, "") << format;
    }
    // The whole file still reads as MPEG-2 video with all its pictures.
    const RunResult whole =
        RunTool("ffprobe -v quiet -f mpegvideo -count_frames -show_streams '" + out + "'");
    EXPECT_EQ(ProbeValue(whole.output, "codec_name"), "mpeg2video");
    EXPECT_EQ(ProbeValue(whole.output, "nb_read_frames"), std::to_string(rec.key_onward()));
}

TEST_F(ConvertModes, ClipOfTenToTwentyPercentIsExactlyThatByteRange) {
    Bytes src(1'000'000);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>((i * 31 + i / 251) & 0xFF);
    const std::string in = dir_.file("big.bin");
    WriteFile(in, src);
    const std::string out = dir_.file("clip.bin");
    converter_.RunJob(Job(in, out, kModeClip, 10, 20));
    const Bytes clip = ReadFile(out);
    ASSERT_EQ(clip.size(), 100'000u);
    EXPECT_TRUE(std::equal(clip.begin(), clip.end(), src.begin() + 100'000));
    EXPECT_EQ(converter_.last_report().clip_bytes, 100'000u);

    // Odd sizes: whole bytes, computed exactly.
    src.resize(999'999);
    WriteFile(in, src);
    converter_.RunJob(Job(in, out, kModeClip, 33, 67));
    const Bytes odd = ReadFile(out);
    ASSERT_EQ(odd.size(), 339'999u);  // trunc(0.34 * 999,999)
    EXPECT_TRUE(std::equal(odd.begin(), odd.end(), src.begin() + 329'999));  // trunc(0.33 * 999,999)
}

TEST_F(ConvertModes, ClipEdgesEmptyRangesMissingFoldersAndOutOfRangePercents) {
    Bytes src(12'345, 0x5A);
    src[0] = 1;
    src.back() = 2;
    const std::string in = dir_.file("s.bin");
    WriteFile(in, src);
    const std::string equal = dir_.file("equal.bin");
    converter_.RunJob(Job(in, equal, kModeClip, 40, 40));
    ASSERT_TRUE(Exists(equal));
    EXPECT_EQ(ReadFile(equal).size(), 0u);
    const std::string reversed = dir_.file("reversed.bin");
    converter_.RunJob(Job(in, reversed, kModeClip, 60, 20));
    ASSERT_TRUE(Exists(reversed));
    EXPECT_EQ(ReadFile(reversed).size(), 0u);
    const std::string nested = dir_.file("a/b/c/whole.bin");
    converter_.RunJob(Job(in, nested, kModeClip, -5, 250));  // taken as 0..100
    EXPECT_EQ(ReadFile(nested), src);
}

TEST_F(ConvertModes, AnUnknownModeReadsTheSourceThroughAndWritesNothing) {
    RecordingSpec spec;
    spec.frames = 10;
    const Recording rec = WriteRecording(dir_.file("u.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    for (int mode : {0, 2, 3, 6, 99}) {
        const std::string out = dir_.file("u" + std::to_string(mode) + ".out");
        converter_.RunJob(Job(rec.path, out, mode));
        EXPECT_FALSE(Exists(out)) << mode;
        EXPECT_EQ(converter_.last_report().bytes_read, rec.size) << mode;
        EXPECT_EQ(converter_.last_report().frames, rec.key_onward()) << mode;
    }
}

TEST_F(ConvertModes, DamagedRecordingsConvertWhatIsWholeWithoutCrashing) {
    RecordingSpec spec;
    spec.frames = 20;
    spec.audio = true;
    const Recording rec = WriteRecording(dir_.file("d.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    Bytes f = ReadFile(rec.path);
    // An oversized length in the 5th video record, and the file cut in its last record.
    std::size_t at = 512, seen = 0;
    for (; at + 30 < f.size(); ++at) {
        if (std::memcmp(&f[at], "XCXBV", 5) == 0 && ++seen == 5) break;
    }
    ASSERT_EQ(seen, 5u);
    const uint32_t huge = 0x7FFFFFF0;
    std::memcpy(&f[at + 6 + 12], &huge, 4);
    f.resize(f.size() - 354 - 50);  // the last audio record is 354 bytes
    const std::string damaged = dir_.file("damaged.zyn");
    WriteFile(damaged, f);
    for (int mode : {kModeAvi, kModeTranscode}) {
        const std::string out = dir_.file("damaged" + std::to_string(mode));
        converter_.RunJob(Job(damaged, out, mode));
        const JobReport report = converter_.last_report();
        EXPECT_EQ(report.bytes_read, f.size());
        EXPECT_EQ(report.reader.oversized, 1u);
        EXPECT_EQ(report.reader.truncated, 1u);
        // Records 5 (oversized) and 20 (cut) are lost, the other 18 frames are there.
        EXPECT_EQ(report.frames, 18u) << mode;
        if (mode == kModeAvi) {
            EXPECT_EQ(AviSamples(ReadFile(out)).size(), 18u);
        }
    }
}
