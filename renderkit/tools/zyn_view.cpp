// zyn-view: shows an H.264 stream in an X11 window through CPlayVideo, to
// look at by eye (also under Xvfb, with a snapshot at the end).
//
//   zyn-view [--file PATH | --pattern] [--size WxH] [--frames N] [--fps N]
//            [--window WxH] [--crop L,T,R,B] [--snapshot PATH] [--loop]
//
// --file plays an Annex B .h264 file (or any container FFmpeg reads with an
// H.264 stream); --pattern (the default) plays the generated test pattern.
// Without a display the stream is decoded only, and the snapshot still works.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include "renderkit/play_video.h"
#ifdef ZYN_VIEW_HAVE_PATTERN
#include "tests/support/h264_test_stream.h"
#endif

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

struct Options {
    std::string file;
    int width = 640, height = 480;
    int frames = 250;
    int fps = 25;
    int window_w = 0, window_h = 0;
    bool crop = false;
    ZYNVS_RECT crop_rect{};
    std::string snapshot;
    bool loop = false;
};

bool ParseSize(const char* s, int* w, int* h) { return std::sscanf(s, "%dx%d", w, h) == 2 && *w > 0 && *h > 0; }

void Usage() {
    std::fprintf(stderr,
                 "usage: zyn-view [--file PATH | --pattern] [--size WxH] [--frames N] [--fps N]\n"
                 "                [--window WxH] [--crop L,T,R,B] [--snapshot PATH] [--loop]\n");
}

// Reads every H.264 packet of a file as Annex B access units.
bool ReadFile(const std::string& path, std::vector<std::vector<uint8_t>>* out) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return false;
    bool ok = avformat_find_stream_info(fmt, nullptr) >= 0;
    const int stream = ok ? av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
    ok = stream >= 0 && fmt->streams[stream]->codecpar->codec_id == AV_CODEC_ID_H264;
    AVBSFContext* bsf = nullptr;
    const AVCodecParameters* par = ok ? fmt->streams[stream]->codecpar : nullptr;
    if (ok && par->extradata_size > 0 && par->extradata[0] == 1) {  // avcC: length-prefixed
        const AVBitStreamFilter* filter = av_bsf_get_by_name("h264_mp4toannexb");
        ok = filter != nullptr && av_bsf_alloc(filter, &bsf) >= 0 &&
             avcodec_parameters_copy(bsf->par_in, par) >= 0 && av_bsf_init(bsf) >= 0;
    }
    AVPacket* packet = av_packet_alloc();
    while (ok && av_read_frame(fmt, packet) >= 0) {
        if (packet->stream_index == stream) {
            if (bsf == nullptr) {
                out->emplace_back(packet->data, packet->data + packet->size);
            } else if (av_bsf_send_packet(bsf, packet) >= 0) {
                while (av_bsf_receive_packet(bsf, packet) >= 0) {
                    out->emplace_back(packet->data, packet->data + packet->size);
                    av_packet_unref(packet);
                }
            }
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    av_bsf_free(&bsf);
    avformat_close_input(&fmt);
    return ok && !out->empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--file" && next) o.file = argv[++i];
        else if (a == "--pattern") o.file.clear();
        else if (a == "--size" && next && ParseSize(argv[++i], &o.width, &o.height)) {}
        else if (a == "--window" && next && ParseSize(argv[++i], &o.window_w, &o.window_h)) {}
        else if (a == "--frames" && next) o.frames = std::atoi(argv[++i]);
        else if (a == "--fps" && next) o.fps = std::max(1, std::atoi(argv[++i]));
        else if (a == "--crop" && next &&
                 std::sscanf(argv[++i], "%d,%d,%d,%d", &o.crop_rect.left, &o.crop_rect.top,
                             &o.crop_rect.right, &o.crop_rect.bottom) == 4) o.crop = true;
        else if (a == "--snapshot" && next) o.snapshot = argv[++i];
        else if (a == "--loop") o.loop = true;
        else { Usage(); return 2; }
    }

    std::vector<std::vector<uint8_t>> frames;
    if (!o.file.empty()) {
        if (!ReadFile(o.file, &frames)) {
            std::fprintf(stderr, "zyn-view: no H.264 video in %s\n", o.file.c_str());
            return 1;
        }
    } else {
#ifdef ZYN_VIEW_HAVE_PATTERN
        zyn_test::H264StreamOptions so;
        so.width = o.width;
        so.height = o.height;
        so.frames = o.frames;
        for (auto& f : zyn_test::MakeH264Stream(so)) frames.push_back(std::move(f.data));
#else
        std::fprintf(stderr, "zyn-view: built without the test pattern; use --file\n");
        return 2;
#endif
    }

    Display* display = nullptr;
    if (const char* name = std::getenv("DISPLAY"); name != nullptr && *name != '\0') display = XOpenDisplay(name);
    Window window = 0;
    Atom wm_delete = 0;
    if (display != nullptr) {
        const int w = o.window_w > 0 ? o.window_w : o.width;
        const int h = o.window_h > 0 ? o.window_h : o.height;
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, w, h, 0, 0, 0);
        XStoreName(display, window, "zyn-view");
        wm_delete = XInternAtom(display, "WM_DELETE_WINDOW", 0);
        XSetWMProtocols(display, window, &wm_delete, 1);
        XSelectInput(display, window, StructureNotifyMask);
        XMapWindow(display, window);
        XSync(display, 0);
    } else {
        std::printf("zyn-view: no display, decoding only\n");
    }

    CPlayVideo video;
    if (o.crop) video.SetSrcRect(&o.crop_rect);
    if (video.InitVideoWindow(window, o.width, o.height, 1) == 0) {
        std::fprintf(stderr, "zyn-view: no H.264 decoder\n");
        return 1;
    }
    const auto period = std::chrono::microseconds(1000000 / o.fps);
    auto next = std::chrono::steady_clock::now();
    bool closed = false;
    uint32_t number = 0;
    do {
        for (size_t i = 0; i < frames.size() && !closed; ++i) {
            video.SendOneFrame1(frames[i].data(), static_cast<int>(frames[i].size()), number++);
            next += period;
            std::this_thread::sleep_until(next);
            while (display != nullptr && XPending(display) > 0) {
                XEvent e;
                XNextEvent(display, &e);
                if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == wm_delete) closed = true;
            }
        }
    } while (o.loop && !closed);
    video.WaitIdle(10000);
    if (!o.snapshot.empty()) {
        std::printf("snapshot %s: %s\n", o.snapshot.c_str(),
                    video.CaptureBitmap(o.snapshot.c_str()) ? "written" : "FAILED");
    }
    RenderVideoStats s{};
    video.GetStats(&s);
    std::printf("frames: received %llu, decoded %llu, drawn %llu, dropped %llu, skipped %llu (%dx%d)\n",
                static_cast<unsigned long long>(s.frames_received),
                static_cast<unsigned long long>(s.frames_decoded),
                static_cast<unsigned long long>(s.frames_drawn),
                static_cast<unsigned long long>(s.frames_dropped),
                static_cast<unsigned long long>(s.frames_skipped), s.width, s.height);
    video.StopVideo();
    if (display != nullptr) {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    return 0;
}
