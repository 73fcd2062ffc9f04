// Independent checks: a real H.264 stream from libx264, recorded the way the
// live path hands frames to the writer, read back by ffprobe/ffmpeg (AVI) and
// byte by byte (native).
#include "tests/support/run_tool.h"
#include "decodekit/platform/avi_file.h"

#include "avi_test_util.h"
#include "platform_test_util.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <cstdlib>
#include <sstream>

using namespace platform_test;

namespace {

struct EncodedFrame {
    Bytes data;
    bool key = false;
};

// Encodes a moving test pattern: 320x240, GOP 10, no B-frames, headers with
// every key frame.
std::vector<EncodedFrame> encode_h264(int frames) {
    std::vector<EncodedFrame> out;
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return out;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = 320;
    ctx->height = 240;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->gop_size = 10;
    ctx->max_b_frames = 0;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    av_opt_set(ctx->priv_data, "x264-params", "repeat-headers=1:keyint=10:min-keyint=10:scenecut=0",
               0);
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return out;
    }
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = ctx->width;
    frame->height = ctx->height;
    av_frame_get_buffer(frame, 0);
    AVPacket* pkt = av_packet_alloc();
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, pkt) == 0) {
            out.push_back(
                {Bytes(pkt->data, pkt->data + pkt->size), (pkt->flags & AV_PKT_FLAG_KEY) != 0});
            av_packet_unref(pkt);
        }
    };
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame);
        for (int y = 0; y < ctx->height; ++y) {
            for (int x = 0; x < ctx->width; ++x) {
                frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(x + y + i * 3);
            }
        }
        for (int y = 0; y < ctx->height / 2; ++y) {
            for (int x = 0; x < ctx->width / 2; ++x) {
                frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(128 + y + i * 2);
                frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(64 + x + i * 5);
            }
        }
        frame->pts = i;
        avcodec_send_frame(ctx, frame);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}

using zyn_test::RunResult;

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string artifact_path(const std::string& name) {
    const char* dir = std::getenv("ZYNVS_ARTIFACT_DIR");
    return std::string(dir && *dir ? dir : testing::TempDir().c_str()) + "/" + name;
}

class RecordingOfRealStream : public testing::Test {
protected:
    static constexpr int kFrames = 60;
    void SetUp() override {
        encoded_ = encode_h264(kFrames);
        if (encoded_.empty()) GTEST_SKIP() << "libx264 encoder not available";
        ASSERT_EQ(encoded_.size(), static_cast<std::size_t>(kFrames));
        for (std::size_t i = 0; i < encoded_.size(); ++i) {
            records_.push_back(
                frame_record(encoded_[i].key ? 7 : 1, static_cast<uint32_t>(i), encoded_[i].data));
        }
    }
    std::vector<EncodedFrame> encoded_;
    std::vector<Bytes> records_;
};

TEST_F(RecordingOfRealStream, AviIsReadByFfprobeAndDecodedByFfmpeg) {
    const std::string path = artifact_path("decodekit_recording.avi");
    CAviFile file;
    ASSERT_EQ(file.Open(path.c_str(), 1, 0), 1);
    for (const auto& r : records_) {
        ASSERT_EQ(file.WriteFrame(r.data() + 30, r.size() - 30, 0, r[6 + 4] == 7), 1);
    }
    ASSERT_EQ(file.Close(), 1);

    // Our own reading first: index present and consistent, key marks as sent.
    const ParsedAvi p = parse_avi(read_file(path));
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.index.size(), static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(p.index[i].flags, encoded_[i].key ? 0x10u : 0u) << i;
        EXPECT_EQ(p.frames[i], encoded_[i].data) << i;
    }

    const std::string ffprobe = zyn_test::Which("ffprobe");
    const std::string ffmpeg = zyn_test::Which("ffmpeg");
    if (ffprobe.empty() || ffmpeg.empty()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";

    RunResult probe = zyn_test::RunTool(ffprobe + " -v error -count_frames -show_streams '" + path + "'");
    ASSERT_EQ(probe.status, 0) << probe.output;
    EXPECT_EQ(count_of(probe.output, "[STREAM]"), 1) << probe.output;
    EXPECT_NE(probe.output.find("codec_type=video"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("codec_name=h264"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("nb_read_frames=" + std::to_string(kFrames) + "\n"),
              std::string::npos)
        << probe.output;
    EXPECT_NE(probe.output.find("width=320\n"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("height=240\n"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("r_frame_rate=25/1"), std::string::npos) << probe.output;

    // The demuxer takes the key marks from idx1.
    RunResult packets =
        zyn_test::RunTool(ffprobe + " -v error -show_entries packet=flags -of csv=p=0 '" + path + "'");
    ASSERT_EQ(packets.status, 0) << packets.output;
    std::istringstream lines(packets.output);
    std::string line;
    int i = 0;
    for (; std::getline(lines, line) && i < kFrames; ++i) {
        EXPECT_EQ(line.rfind('K', 0) == 0, encoded_[i].key) << "packet " << i << ": " << line;
    }
    EXPECT_EQ(i, kFrames);

    RunResult decode = zyn_test::RunTool(ffmpeg + " -nostdin -v error -i '" + path + "' -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
}

TEST_F(RecordingOfRealStream, NativeFileHoldsEveryFrameRecordByteForByte) {
    const std::string path = artifact_path("decodekit_recording.zyn");
    CAviFile file;
    ASSERT_EQ(file.Open(path.c_str(), 0, 0), 1);
    for (const auto& r : records_) ASSERT_EQ(file.WriteFrame(r.data(), r.size(), 0, r[10] == 7), 1);
    ASSERT_EQ(file.Close(), 1);

    const Bytes f = read_file(path);
    ASSERT_GE(f.size(), 512u);
    // What the player checks: the magic and a zero byte, no picture size, times.
    EXPECT_EQ(std::string(f.begin(), f.begin() + 9), std::string("ZYNIPCFH\0", 9));
    EXPECT_EQ(le16(f, 12), 0);
    EXPECT_EQ(le16(f, 14), 0);
    EXPECT_NE(le32(f, 160), 0u);
    EXPECT_GE(le32(f, 164), le32(f, 160));
    EXPECT_EQ(le32(f, 168), 0u);

    // Walk the records as a reader does: prefix, header, total length.
    std::size_t at = 512;
    int n = 0;
    while (at < f.size()) {
        ASSERT_LE(at + 30, f.size());
        ASSERT_EQ(std::string(f.begin() + at, f.begin() + at + 5), "XCXBV");
        EXPECT_EQ(f[at + 6 + 7], 1);  // fragment count of a complete frame
        const uint32_t len = le32(f, at + 6 + 12);
        ASSERT_LE(at + 30 + len, f.size());
        ASSERT_LT(n, kFrames);
        EXPECT_EQ(Bytes(f.begin() + at, f.begin() + at + 30 + len), records_[n]) << n;
        EXPECT_EQ(f[at + 6 + 4] == 7, encoded_[n].key);
        at += 30 + len;
        ++n;
    }
    EXPECT_EQ(n, kFrames);
}

}  // namespace
