#include "tests/renderkit/test_util.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "renderkit/ffmpeg_util.h"
#include "renderkit/image_file.h"

namespace rk_test {

std::string ArtifactPath(const std::string& name) {
    const char* env = std::getenv("ZYNVS_ARTIFACT_DIR");
    std::filesystem::path dir = env != nullptr && *env != '\0' ? env : ZYNVS_ARTIFACT_DIR;
    dir /= "renderkit";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return (dir / name).string();
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> data;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return data;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + n);
    std::fclose(f);
    return data;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

Image ReadBmp(const std::string& path) {
    Image image;
    const auto data = ReadFile(path);
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return image;
    auto le32 = [&](size_t at) {
        return static_cast<uint32_t>(data[at]) | (static_cast<uint32_t>(data[at + 1]) << 8) |
               (static_cast<uint32_t>(data[at + 2]) << 16) | (static_cast<uint32_t>(data[at + 3]) << 24);
    };
    const uint32_t offset = le32(10);
    const int w = static_cast<int>(le32(18));
    const int h = static_cast<int>(le32(22));
    const int bpp = data[28] | (data[29] << 8);
    if (bpp != 24 || w <= 0 || h <= 0) return image;
    const size_t row = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
    if (data.size() < offset + row * h) return image;
    image.width = w;
    image.height = h;
    image.pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = data.data() + offset + row * (h - 1 - y);
        for (int x = 0; x < w; ++x) {
            image.pixels[static_cast<size_t>(y) * w + x] = {src[3 * x + 2], src[3 * x + 1], src[3 * x]};
        }
    }
    return image;
}

Image ReadImageWithFfmpeg(const std::string& path) {
    Image image;
    const auto data = ReadFile(path);
    if (data.empty()) return image;
    const bool png = path.size() > 4 && path.substr(path.size() - 4) == ".png";
    const AVCodec* codec = avcodec_find_decoder(png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<uint8_t> padded(data);
    padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    packet->data = padded.data();
    packet->size = static_cast<int>(data.size());
    if (avcodec_open2(ctx, codec, nullptr) >= 0 && avcodec_send_packet(ctx, packet) >= 0 &&
        avcodec_send_packet(ctx, nullptr) >= 0 && avcodec_receive_frame(ctx, frame) >= 0) {
        AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
        int full = 0;
        if (format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P) {
            format = format == AV_PIX_FMT_YUVJ420P ? AV_PIX_FMT_YUV420P
                     : format == AV_PIX_FMT_YUVJ422P ? AV_PIX_FMT_YUV422P
                                                       : AV_PIX_FMT_YUV444P;
            full = 1;
        }
        SwsContext* sws = sws_getContext(frame->width, frame->height, format, frame->width,
                                         frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr,
                                         nullptr);
        sws_setColorspaceDetails(sws, sws_getCoefficients(SWS_CS_ITU601), full,
                                 sws_getCoefficients(SWS_CS_ITU601), 1, 0, 1 << 16, 1 << 16);
        std::vector<uint8_t> rgb(static_cast<size_t>(frame->width) * frame->height * 3);
        uint8_t* dst[4] = {rgb.data(), nullptr, nullptr, nullptr};
        int stride[4] = {frame->width * 3, 0, 0, 0};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
        sws_freeContext(sws);
        image.width = frame->width;
        image.height = frame->height;
        image.pixels.resize(static_cast<size_t>(frame->width) * frame->height);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            image.pixels[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
        }
    }
    packet->data = nullptr;
    packet->size = 0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return image;
}

bool WritePng(const Image& image, const std::string& path) {
    renderkit::FramePtr frame = renderkit::MakeFrame();
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = image.width;
    frame->height = image.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return false;
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        for (int x = 0; x < image.width; ++x) {
            const auto c = image.At(x, y);
            row[3 * x] = c.r;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.b;
        }
    }
    return renderkit::SavePicture(frame.get(), path);
}

const std::vector<zyn_test::H264Frame>& Stream320x240() {
    static const std::vector<zyn_test::H264Frame> stream = [] {
        zyn_test::H264StreamOptions o;
        o.width = 320;
        o.height = 240;
        o.frames = 75;
        o.gop = 25;
        return zyn_test::MakeH264Stream(o);
    }();
    return stream;
}

}  // namespace rk_test

// libdbus (opened by SDL) keeps an error string when the session bus cannot be
// autolaunched through X11; it is libdbus's own and not ours to free. SDL
// unloads libdbus at SDL_Quit, after which the leak checker could no longer
// tell where the block came from, so the library is pinned in memory here.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
namespace {
[[maybe_unused]] void* const g_pinned_dbus = dlopen("libdbus-1.so.3", RTLD_NOW | RTLD_NODELETE);
}
