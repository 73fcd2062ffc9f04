#include "renderkit/image_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "renderkit/ffmpeg_util.h"

namespace renderkit {
namespace {

void PutLe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

// Converts `picture` to `format` at its own size; returns a new frame.
FramePtr ConvertPicture(const AVFrame* picture, AVPixelFormat format) {
    FramePtr out = MakeFrame();
    if (!out) return nullptr;
    out->format = format;
    out->width = picture->width;
    out->height = picture->height;
    if (av_frame_get_buffer(out.get(), 0) < 0) return nullptr;
    AVPixelFormat src_format = static_cast<AVPixelFormat>(picture->format);
    int src_full = picture->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    if (src_format == AV_PIX_FMT_YUVJ420P) {
        src_format = AV_PIX_FMT_YUV420P;
        src_full = 1;
    }
    SwsContext* sws = sws_getContext(picture->width, picture->height, src_format, out->width,
                                     out->height, format, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (sws == nullptr) return nullptr;
    const int space = picture->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    const bool out_full = format != AV_PIX_FMT_YUV420P;
    sws_setColorspaceDetails(sws, sws_getCoefficients(space), src_full,
                             sws_getCoefficients(SWS_CS_ITU601), out_full ? 1 : 0, 0, 1 << 16,
                             1 << 16);
    const int rows = sws_scale(sws, picture->data, picture->linesize, 0, picture->height,
                               out->data, out->linesize);
    sws_freeContext(sws);
    if (rows <= 0) return nullptr;
    return out;
}

bool EncodeWithFfmpeg(const AVFrame* picture, const std::string& path, ImageKind kind) {
    const AVCodecID id = kind == ImageKind::kPng ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG;
    const AVPixelFormat format = kind == ImageKind::kPng ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_YUVJ420P;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr) return false;
    FramePtr converted = ConvertPicture(picture, format);
    if (!converted) return false;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    bool ok = false;
    if (ctx != nullptr && packet != nullptr) {
        ctx->width = picture->width;
        ctx->height = picture->height;
        ctx->pix_fmt = format;
        ctx->time_base = AVRational{1, 25};
        ctx->color_range = AVCOL_RANGE_JPEG;
        if (kind == ImageKind::kJpeg) {
            ctx->flags |= AV_CODEC_FLAG_QSCALE;
            ctx->global_quality = FF_QP2LAMBDA * 2;
            converted->quality = ctx->global_quality;
        }
        converted->pts = 0;
        if (avcodec_open2(ctx, codec, nullptr) >= 0 &&
            avcodec_send_frame(ctx, converted.get()) >= 0 && avcodec_send_frame(ctx, nullptr) >= 0 &&
            avcodec_receive_packet(ctx, packet) >= 0) {
            ok = WriteWholeFile(path, packet->data, static_cast<size_t>(packet->size));
        }
    }
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return ok;
}

}  // namespace

ImageKind ImageKindForPath(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto ends_with = [&](const char* suffix) {
        const std::string s(suffix);
        return lower.size() >= s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
    };
    if (ends_with(".png")) return ImageKind::kPng;
    if (ends_with(".jpg") || ends_with(".jpeg")) return ImageKind::kJpeg;
    return ImageKind::kBmp;
}

bool WriteBmp24(const std::string& path, const uint8_t* bgr, int width, int height, int stride) {
    if (bgr == nullptr || width <= 0 || height <= 0 || width > 32768 || height > 32768) return false;
    const uint32_t row_bytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t image_bytes = row_bytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> file(54 + static_cast<size_t>(image_bytes), 0);
    uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    PutLe32(h + 2, 54 + image_bytes);
    PutLe32(h + 10, 54);                               // pixel data offset
    PutLe32(h + 14, 40);                               // BITMAPINFOHEADER
    PutLe32(h + 18, static_cast<uint32_t>(width));
    PutLe32(h + 22, static_cast<uint32_t>(height));   // positive: bottom row first
    PutLe16(h + 26, 1);                                // planes
    PutLe16(h + 28, 24);                               // bits per pixel
    PutLe32(h + 34, image_bytes);
    PutLe32(h + 38, 2835);                             // 72 dpi
    PutLe32(h + 42, 2835);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bgr + static_cast<ptrdiff_t>(height - 1 - y) * stride;
        std::copy_n(src, static_cast<size_t>(width) * 3, h + 54 + static_cast<size_t>(y) * row_bytes);
    }
    return WriteWholeFile(path, file.data(), file.size());
}

bool SavePicture(const AVFrame* picture, const std::string& path) {
    if (picture == nullptr || path.empty() || picture->width <= 0 || picture->height <= 0) {
        return false;
    }
    const ImageKind kind = ImageKindForPath(path);
    if (kind != ImageKind::kBmp) return EncodeWithFfmpeg(picture, path, kind);
    FramePtr bgr = ConvertPicture(picture, AV_PIX_FMT_BGR24);
    if (!bgr) return false;
    return WriteBmp24(path, bgr->data[0], bgr->width, bgr->height, bgr->linesize[0]);
}

}  // namespace renderkit
