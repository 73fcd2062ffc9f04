#include "tools/devsim/video_loop.h"

#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <mutex>

#include "tools/devsim/test_pattern.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace devsim {
namespace {

std::string AvError(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// True when the access unit holds an IDR slice (NAL type 5).
bool HasIdr(const uint8_t* p, size_t n) {
    for (size_t i = 0; i + 3 < n; ++i) {
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
            if ((p[i + 3] & 0x1F) == 5) return true;
            i += 2;
        }
    }
    return false;
}

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

}  // namespace

double VideoLoop::BitrateKbps() const {
    if (frames.empty() || key.fps <= 0) return 0;
    double seconds = static_cast<double>(frames.size()) / key.fps;
    return static_cast<double>(total_bytes) * 8.0 / 1000.0 / seconds;
}

int VideoLoop::GopStart(int index) const {
    for (int i = index; i > 0; --i) {
        if (frames[i].key) return i;
    }
    return 0;
}

void QuietCodecLogs() { av_log_set_level(AV_LOG_ERROR); }

uint8_t ResolutionCode(int width, int height) {
    for (uint8_t code = 1; code <= 5; ++code) {
        int w = 0, h = 0;
        SizeOfResolutionCode(code, &w, &h);
        if (w == width && h == height) return code;
    }
    return 0;
}

bool SizeOfResolutionCode(uint8_t code, int* width, int* height) {
    static constexpr int kSizes[6][2] = {{0, 0},      {176, 144},  {352, 288},
                                         {704, 576},  {1280, 720}, {1920, 1080}};
    if (code < 1 || code > 5) return false;
    *width = kSizes[code][0];
    *height = kSizes[code][1];
    return true;
}

std::shared_ptr<const VideoLoop> EncodeVideoLoop(const VideoLoopKey& key_in, std::string* error) {
    VideoLoopKey key = key_in;
    auto fail = [&](const std::string& what) -> std::shared_ptr<const VideoLoop> {
        if (error) *error = what;
        return nullptr;
    };
    if (key.width < 16 || key.height < 16 || key.width % 2 || key.height % 2 ||
        key.width > 4096 || key.height > 4096)
        return fail("video size must be even and between 16 and 4096");
    if (key.fps < 1 || key.fps > 120) return fail("frame rate must be 1..120");
    if (key.gop < 1) return fail("GOP must be at least 1");
    if (key.bitrate_kbps < 16) return fail("bit rate must be at least 16 kbit/s");
    if (key.loop_frames < key.gop) key.loop_frames = key.gop;
    key.loop_frames = (key.loop_frames + key.gop - 1) / key.gop * key.gop;

    auto started = std::chrono::steady_clock::now();
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (codec == nullptr) return fail("no H.264 encoder in libavcodec");

    std::unique_ptr<AVCodecContext, CodecContextDeleter> ctx(avcodec_alloc_context3(codec));
    if (!ctx) return fail("avcodec_alloc_context3 failed");
    ctx->width = key.width;
    ctx->height = key.height;
    ctx->time_base = AVRational{1, key.fps};
    ctx->framerate = AVRational{key.fps, 1};
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->bit_rate = static_cast<int64_t>(key.bitrate_kbps) * 1000;
    ctx->rc_max_rate = ctx->bit_rate;
    ctx->rc_buffer_size = static_cast<int>(ctx->bit_rate);
    ctx->gop_size = key.gop;
    ctx->max_b_frames = 0;
    ctx->thread_count = 2;
    bool x264 = std::strcmp(codec->name, "libx264") == 0;
    if (x264) {
        av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
        av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
        av_opt_set(ctx->priv_data, "forced-idr", "1", 0);
        std::string params = "repeat-headers=1:keyint=" + std::to_string(key.gop) +
                             ":min-keyint=" + std::to_string(key.gop) + ":scenecut=0:bframes=0";
        av_opt_set(ctx->priv_data, "x264-params", params.c_str(), 0);
    }
    int err = avcodec_open2(ctx.get(), codec, nullptr);
    if (err < 0) return fail(std::string("cannot open ") + codec->name + ": " + AvError(err));

    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> pkt(av_packet_alloc());
    if (!frame || !pkt) return fail("out of memory");
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = key.width;
    frame->height = key.height;
    if ((err = av_frame_get_buffer(frame.get(), 0)) < 0) return fail(AvError(err));

    auto loop = std::make_shared<VideoLoop>();
    loop->key = key;
    loop->encoder = codec->name;
    Picture pic;
    auto drain = [&]() -> int {
        for (;;) {
            int r = avcodec_receive_packet(ctx.get(), pkt.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
            if (r < 0) return r;
            EncodedFrame f;
            f.data.assign(pkt->data, pkt->data + pkt->size);
            f.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0 && HasIdr(pkt->data, pkt->size);
            loop->total_bytes += f.data.size();
            loop->frames.push_back(std::move(f));
            av_packet_unref(pkt.get());
        }
    };
    for (int i = 0; i < key.loop_frames; ++i) {
        RenderTestPattern(key.width, key.height, key.channel, key.stream_kind, i,
                          key.loop_frames, &pic);
        if ((err = av_frame_make_writable(frame.get())) < 0) return fail(AvError(err));
        for (int y = 0; y < key.height; ++y)
            std::memcpy(frame->data[0] + y * frame->linesize[0], &pic.y[y * key.width],
                        key.width);
        for (int y = 0; y < key.height / 2; ++y) {
            std::memcpy(frame->data[1] + y * frame->linesize[1], &pic.u[y * key.width / 2],
                        key.width / 2);
            std::memcpy(frame->data[2] + y * frame->linesize[2], &pic.v[y * key.width / 2],
                        key.width / 2);
        }
        frame->pts = i;
        frame->pict_type = (i % key.gop == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if ((err = avcodec_send_frame(ctx.get(), frame.get())) < 0)
            return fail("encode: " + AvError(err));
        if ((err = drain()) < 0) return fail("encode: " + AvError(err));
    }
    if ((err = avcodec_send_frame(ctx.get(), nullptr)) < 0) return fail(AvError(err));
    if ((err = drain()) < 0) return fail(AvError(err));

    if (static_cast<int>(loop->frames.size()) != key.loop_frames)
        return fail("encoder gave " + std::to_string(loop->frames.size()) + " frames for " +
                    std::to_string(key.loop_frames) + " pictures");
    for (int i = 0; i < key.loop_frames; ++i) {
        if (loop->frames[i].key != (i % key.gop == 0))
            return fail("encoder did not keep the fixed GOP at picture " + std::to_string(i));
    }
    loop->encode_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return loop;
}

std::shared_ptr<const VideoLoop> GetVideoLoop(const VideoLoopKey& key, std::string* error) {
    using Result = std::pair<std::shared_ptr<const VideoLoop>, std::string>;
    static std::mutex mu;
    static std::map<VideoLoopKey, std::shared_future<Result>> cache;  // guarded by mu

    std::promise<Result> promise;
    std::shared_future<Result> future;
    bool mine = false;
    {
        std::lock_guard<std::mutex> lock(mu);
        auto it = cache.find(key);
        if (it != cache.end()) {
            future = it->second;
        } else {
            future = promise.get_future().share();
            cache.emplace(key, future);
            mine = true;
        }
    }
    if (mine) {
        std::string err;
        auto loop = EncodeVideoLoop(key, &err);
        promise.set_value({loop, err});
        if (!loop) {
            std::lock_guard<std::mutex> lock(mu);
            cache.erase(key);  // a later call may try again
        }
    }
    const Result& r = future.get();
    if (!r.first && error) *error = r.second;
    return r.first;
}

}  // namespace devsim
