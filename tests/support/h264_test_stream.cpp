#include "tests/support/h264_test_stream.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace zyn_test {
namespace {

struct Yuv {
    uint8_t y, u, v;
};

uint8_t Clamp(double v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v + 0.5));
}

// BT.601, limited range: what decoders assume for a stream without colour tags.
Yuv ToYuv(Rgb c) {
    const double r = c.r, g = c.g, b = c.b;
    return Yuv{Clamp(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0),
               Clamp(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0),
               Clamp(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0)};
}

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("h264 test stream: ") + what);
}

void DrawFrame(AVFrame* f, const H264StreamOptions& o, int index) {
    const int w = o.width, h = o.height;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
        for (int x = 0; x < w; ++x) {
            uint8_t luma = ToYuv(PatternColour(x, y, w, h, index)).y;
            if (o.noise && y < h * 3 / 4) {
                // Moving texture plus pseudo-random grain.
                uint32_t n = static_cast<uint32_t>(x * 73856093u) ^
                             static_cast<uint32_t>(y * 19349663u) ^
                             static_cast<uint32_t>(index * 83492791u);
                n = (n ^ (n >> 13)) * 1274126177u;
                luma = static_cast<uint8_t>(((x + y + index * 4) & 0x7F) + 48 + ((n >> 24) & 0x1F));
            }
            row[x] = luma;
        }
    }
    for (int y = 0; y < (h + 1) / 2; ++y) {
        uint8_t* u = f->data[1] + static_cast<ptrdiff_t>(y) * f->linesize[1];
        uint8_t* v = f->data[2] + static_cast<ptrdiff_t>(y) * f->linesize[2];
        for (int x = 0; x < (w + 1) / 2; ++x) {
            const Yuv c = ToYuv(PatternColour(2 * x, 2 * y, w, h, index));
            u[x] = c.u;
            v[x] = c.v;
        }
    }
}

}  // namespace

Rgb PatternColour(int x, int y, int width, int height, int index) {
    const int band_top = height * 3 / 4;
    if (y >= band_top) {
        const int bit = x * 8 / width;
        return ((index & 0xFF) >> bit) & 1 ? kBarOn : kBarOff;
    }
    const bool right = x >= width / 2;
    const bool bottom = y >= band_top / 2;
    if (!bottom) return right ? kTopRight : kTopLeft;
    return right ? kBottomRight : kBottomLeft;
}

void BarCellCentre(int bit, int width, int height, int* x, int* y) {
    *x = (2 * bit + 1) * width / 16;
    *y = (height * 3 / 4 + height) / 2;
}

void QuadrantCentre(int quadrant, int width, int height, int* x, int* y) {
    const int band_top = height * 3 / 4;
    *x = (quadrant & 1) ? width * 3 / 4 : width / 4;
    *y = (quadrant & 2) ? band_top * 3 / 4 : band_top / 4;
}

int ReadBarCode(const uint8_t* luma, int stride, int width, int height) {
    int value = 0;
    for (int bit = 0; bit < 8; ++bit) {
        int x, y;
        BarCellCentre(bit, width, height, &x, &y);
        if (luma[static_cast<ptrdiff_t>(y) * stride + x] > 128) value |= 1 << bit;
    }
    return value;
}

std::vector<H264Frame> MakeH264Stream(const H264StreamOptions& o) {
    Check(o.width > 0 && o.height > 0 && o.width % 2 == 0 && o.height % 2 == 0, "bad size");
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    Check(codec != nullptr, "libx264 encoder not available");
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<H264Frame> out;
    auto cleanup = [&] {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    };
    try {
        Check(ctx && frame && packet, "out of memory");
        ctx->width = o.width;
        ctx->height = o.height;
        ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        ctx->time_base = AVRational{1, o.fps};
        ctx->framerate = AVRational{o.fps, 1};
        ctx->gop_size = o.gop;
        ctx->keyint_min = o.gop;
        ctx->max_b_frames = o.b_frames;
        ctx->thread_count = 2;
        if (o.bitrate_kbps > 0) {
            ctx->bit_rate = static_cast<int64_t>(o.bitrate_kbps) * 1000;
            ctx->rc_max_rate = ctx->bit_rate;
            ctx->rc_buffer_size = static_cast<int>(ctx->bit_rate);
        }
        av_opt_set(ctx->priv_data, "preset", o.preset.c_str(), 0);
        if (o.b_frames == 0) av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
        if (o.bitrate_kbps <= 0) av_opt_set_int(ctx->priv_data, "qp", o.qp, 0);
        av_opt_set(ctx->priv_data, "x264-params",
                   o.b_frames == 0 ? "repeat-headers=1:scenecut=0"
                                   : "repeat-headers=1:scenecut=0:b-adapt=0:b-pyramid=none",
                   0);
        Check(avcodec_open2(ctx, codec, nullptr) >= 0, "cannot open libx264");
        frame->format = ctx->pix_fmt;
        frame->width = o.width;
        frame->height = o.height;
        Check(av_frame_get_buffer(frame, 0) >= 0, "no frame buffer");

        int next_index = o.first_index;
        auto drain = [&] {
            while (avcodec_receive_packet(ctx, packet) >= 0) {
                H264Frame f;
                f.data.assign(packet->data, packet->data + packet->size);
                f.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
                f.index = packet->pts == AV_NOPTS_VALUE
                              ? next_index
                              : o.first_index + static_cast<int>(packet->pts);
                ++next_index;
                out.push_back(std::move(f));
                av_packet_unref(packet);
            }
        };
        for (int i = 0; i < o.frames; ++i) {
            Check(av_frame_make_writable(frame) >= 0, "frame not writable");
            DrawFrame(frame, o, o.first_index + i);
            frame->pts = i;
            frame->pict_type = (i % o.gop == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
            Check(avcodec_send_frame(ctx, frame) >= 0, "encode failed");
            drain();
        }
        avcodec_send_frame(ctx, nullptr);
        drain();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
    return out;
}

bool WriteAnnexB(const std::string& path, const std::vector<H264Frame>& frames) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = true;
    for (const auto& frame : frames) {
        ok = ok && std::fwrite(frame.data.data(), 1, frame.data.size(), f) == frame.data.size();
    }
    return std::fclose(f) == 0 && ok;
}

bool Near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

}  // namespace zyn_test
