// Local recording from live streams, checked independently: the native file
// byte for byte against the callbacks and the device's frames, the AVI file
// with ffprobe, and the decoded pictures of file, callbacks and source with
// ffmpeg's framemd5.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <sstream>

#include "tests/decodekit/sdk_support/sdk_fixture.h"

namespace sdk_test {
namespace {

// The md5 column of `ffmpeg -f framemd5`, one entry per decoded picture.
std::vector<std::string> FrameMd5(const std::string& ffmpeg, const std::string& input_args) {
    RunResult r = Run(ffmpeg + " -nostdin -v error " + input_args + " -f framemd5 -");
    std::vector<std::string> out;
    if (r.status != 0) {
        ADD_FAILURE() << "ffmpeg failed: " << r.output;
        return out;
    }
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto comma = line.rfind(',');
        if (comma == std::string::npos) continue;
        std::string md5 = line.substr(comma + 1);
        while (!md5.empty() && md5.front() == ' ') md5.erase(md5.begin());
        out.push_back(md5);
    }
    return out;
}

Bytes AnnexB(const std::vector<Bytes>& frames) {
    Bytes out;
    for (auto& f : frames) out.insert(out.end(), f.begin(), f.end());
    return out;
}

class Recording : public SdkTest {};

TEST_F(Recording, NativeAndAviFilesHoldEveryLiveFrameIntact) {
    const std::string ffmpeg = Which("ffmpeg"), ffprobe = Which("ffprobe");
    auto cfg = SmallDevice(1, 2);
    cfg.fragment_bytes = 900;
    ASSERT_TRUE(StartDevices({cfg}, true));
    ASSERT_TRUE(Login(0, 1));
    TempDir dir;
    const std::string native = dir.File("ch0.zyn"), avi = dir.File("ch1.avi");
    const uint32_t t0 = static_cast<uint32_t>(std::time(nullptr));
    // Open before the streams so that each file starts with the first frame.
    EXPECT_EQ(ZYNVS_StartLoclRecord(1, 0, native.c_str(), 0), 0);
    EXPECT_EQ(ZYNVS_StartLoclRecord(1, 1, avi.c_str(), 1), 0);
    EXPECT_EQ(ZYNVS_StartLoclRecord(1, 2, dir.File("no.zyn").c_str(), 0), 0);
    EXPECT_EQ(ZYNVS_StartLoclRecord(1, 0, nullptr, 0), 0);
    ASSERT_TRUE(PlayData(1, 0, 45));
    ASSERT_TRUE(PlayData(1, 1, 45));
    // Stopping the streams first: after StopRealPlay nothing more arrives,
    // so the files end where the callbacks end.
    ASSERT_EQ(ZYNVS_StopRealPlay(1, 0), 1);
    ASSERT_EQ(ZYNVS_StopRealPlay(1, 1), 1);
    EXPECT_EQ(ZYNVS_StopLoclRecord(1, 0), 0);
    EXPECT_EQ(ZYNVS_StopLoclRecord(1, 1), 0);
    EXPECT_EQ(ZYNVS_StopLoclRecord(1, 1), 0) << "a second stop does nothing";
    const uint32_t t1 = static_cast<uint32_t>(std::time(nullptr));
    EXPECT_TRUE(ReadFile(dir.File("no.zyn")).empty());

    // Native: the header, then the frame records exactly as delivered.
    const auto full0 = media_.Full(1, 0);
    std::size_t checked = 0;
    ASSERT_EQ(CompareWithSent(full0, Dev(), 0, 0, &checked), "");
    Bytes f = ReadFile(native);
    ASSERT_GE(f.size(), 512u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "ZYNIPCFH");
    EXPECT_EQ(f[11], 1);
    EXPECT_GE(Le32(f.data() + 160), t0);
    EXPECT_LE(Le32(f.data() + 164), t1);
    EXPECT_GE(Le32(f.data() + 164), Le32(f.data() + 160));
    std::size_t at = 512, n = 0;
    while (at < f.size() && n < full0.size()) {
        const Bytes& rec = full0[n].data;
        ASSERT_LE(at + rec.size(), f.size());
        EXPECT_TRUE(std::equal(rec.begin(), rec.end(), f.begin() + at)) << "record " << n;
        at += rec.size();
        ++n;
    }
    EXPECT_EQ(n, full0.size());
    EXPECT_EQ(at, f.size()) << "the file holds nothing but the delivered frames";
    EXPECT_EQ(ViewRecord(full0.front().data).frame_number, 0u);

    // AVI: our own look at the index first.
    const auto full1 = media_.Full(1, 1);
    ASSERT_EQ(CompareWithSent(full1, Dev(), 1, 0, &checked), "");
    Bytes a = ReadFile(avi);
    ASSERT_GT(a.size(), 232u);
    EXPECT_EQ(std::string(a.begin(), a.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(a.data() + 4), a.size() - 8);
    EXPECT_EQ(Le32(a.data() + 48), full1.size());
    const std::size_t idx = 220 + Le32(a.data() + 216);
    ASSERT_LE(idx + 8, a.size());
    EXPECT_EQ(std::string(a.begin() + idx, a.begin() + idx + 4), "idx1");
    EXPECT_EQ(Le32(a.data() + idx + 4), 16 * full1.size());
    for (std::size_t i = 0; i < full1.size(); ++i) {
        const uint8_t* e = a.data() + idx + 8 + 16 * i;
        EXPECT_EQ(Le32(e + 4), ViewRecord(full1[i].data).frame_type == 7 ? 0x10u : 0u) << i;
        EXPECT_EQ(Le32(e + 12), full1[i].data.size() - 30) << i;
    }

    if (ffmpeg.empty() || ffprobe.empty()) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    RunResult probe = sdk_test::Run(ffprobe + " -v error -count_frames -show_streams '" + avi + "'");
    ASSERT_EQ(probe.status, 0) << probe.output;
    std::size_t streams = 0;
    for (auto p = probe.output.find("[STREAM]"); p != std::string::npos;
         p = probe.output.find("[STREAM]", p + 1))
        ++streams;
    EXPECT_EQ(streams, 1u) << probe.output;
    EXPECT_NE(probe.output.find("codec_name=h264"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("nb_read_frames=" + std::to_string(full1.size()) + "\n"),
              std::string::npos)
        << probe.output;
    EXPECT_NE(probe.output.find("width=352"), std::string::npos) << probe.output;

    // Decoded pictures: file, callback stream and the device's source frames
    // for the same span are the same, picture for picture.
    auto loop = Dev().Loop(1, 0);
    ASSERT_TRUE(loop);
    std::map<uint32_t, int> loop_index;
    for (auto& s : Dev().SentFrames())
        if (s.channel == 1 && s.stream_kind == 0) loop_index[s.frame_number] = s.loop_index;
    std::vector<Bytes> delivered, source;
    for (auto& d : full1) {
        FrameView v = ViewRecord(d.data);
        delivered.emplace_back(v.data, v.data + v.data_bytes);
        source.push_back(loop->frames[loop_index.at(v.frame_number)].data);
    }
    ASSERT_TRUE(WriteFile(dir.File("delivered.h264"), AnnexB(delivered)));
    ASSERT_TRUE(WriteFile(dir.File("source.h264"), AnnexB(source)));
    const auto from_file = FrameMd5(ffmpeg, "-i '" + avi + "'");
    const auto from_callback = FrameMd5(ffmpeg, "-f h264 -i '" + dir.File("delivered.h264") + "'");
    const auto from_source = FrameMd5(ffmpeg, "-f h264 -i '" + dir.File("source.h264") + "'");
    EXPECT_EQ(from_source.size(), full1.size());
    EXPECT_EQ(from_file, from_source);
    EXPECT_EQ(from_callback, from_source);

    // The native recording decodes the same way.
    std::vector<Bytes> native_frames, native_source;
    auto loop0 = Dev().Loop(0, 0);
    std::map<uint32_t, int> loop_index0;
    for (auto& s : Dev().SentFrames())
        if (s.channel == 0 && s.stream_kind == 0) loop_index0[s.frame_number] = s.loop_index;
    for (at = 512; at + 30 <= f.size();) {
        const uint32_t len = Le32(f.data() + at + 18);
        native_frames.emplace_back(f.begin() + at + 30, f.begin() + at + 30 + len);
        native_source.push_back(
            loop0->frames[loop_index0.at(Le32(f.data() + at + 14))].data);
        at += 30 + len;
    }
    ASSERT_TRUE(WriteFile(dir.File("native.h264"), AnnexB(native_frames)));
    ASSERT_TRUE(WriteFile(dir.File("native_source.h264"), AnnexB(native_source)));
    EXPECT_EQ(FrameMd5(ffmpeg, "-f h264 -i '" + dir.File("native.h264") + "'"),
              FrameMd5(ffmpeg, "-f h264 -i '" + dir.File("native_source.h264") + "'"));
}

}  // namespace
}  // namespace sdk_test
