#include "renderkit/play_video.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "renderkit/callback_slot.h"
#include "renderkit/ffmpeg_util.h"
#include "renderkit/frame_queue.h"
#include "renderkit/h264_decoder.h"
#include "renderkit/image_file.h"
#include "renderkit/picture_convert.h"
#include "renderkit/x11_window.h"

using renderkit::CallbackSlot;
using renderkit::FramePtr;
using renderkit::FrameQueue;

namespace {
constexpr size_t kDefaultQueueFrames = 16;
constexpr size_t kDefaultQueueBytes = 32u << 20;
constexpr size_t kDefaultMaxFrameBytes = 4u << 20;
// How often an idle decode thread with a window looks at window events.
constexpr int kEventPollMs = 100;
constexpr int kIdleWaitMs = 1000;
}  // namespace

struct CPlayVideo::Impl {
    Impl() : queue(kDefaultQueueFrames, kDefaultQueueBytes, kDefaultMaxFrameBytes) {
        queue.Close();  // refuses frames until started
    }

    // ---- lifecycle, guarded by lifecycle_mutex
    std::mutex lifecycle_mutex;
    std::thread thread;
    bool running = false;
    std::atomic<bool> stop{false};
    std::atomic<std::thread::id> thread_id{};

    // ---- host settings, guarded by settings_mutex
    std::mutex settings_mutex;
    ZYNVS_WND wnd = 0;
    uint64_t wnd_generation = 0;  // bumped on every window change
    bool redraw_requested = false;
    int display_flag = 1;
    int change_flag = 0;
    uint8_t guid[16] = {};
    bool has_src_rect = false;
    ZYNVS_RECT src_rect{};
    int width_hint = 0;
    int height_hint = 0;
    int mode = 0;

    std::atomic<int> play_channel{0};
    CallbackSlot<ZynDrawCallback> draw_callback;
    CallbackSlot<RenderDecCallback> dec_callback;

    FrameQueue queue;  // thread-safe

    // ---- last picture, guarded by picture_mutex
    std::mutex picture_mutex;
    FramePtr last_picture;
    uint32_t last_number = 0;

    // ---- counters (any thread)
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> skipped{0};
    std::atomic<uint64_t> decoded{0};
    std::atomic<uint64_t> drawn{0};
    std::atomic<uint64_t> shown{0};
    std::atomic<int> reorder_delay{0};
    std::atomic<uint64_t> errors{0};
    std::atomic<int32_t> width{0};
    std::atomic<int32_t> height{0};

    // ---- owned by the decode thread while it runs
    renderkit::H264Decoder decoder;
    renderkit::X11WindowTarget target;
    renderkit::YuvToBgra yuv_to_bgra;
    renderkit::BgraScaler bgra_scaler;
    renderkit::I420View i420;
    std::vector<uint8_t> surface;  // BGRA picture for the drawing callback
    bool surface_painted = false;  // surface holds the last picture as the callback left it
    uint64_t bound_generation = 0;
    bool waiting_for_key = true;
    std::vector<uint32_t> hidden;  // numbers of frames decoded whose pictures are not shown

    bool OnDecodeThread() const { return thread_id.load() == std::this_thread::get_id(); }

    void Run();
    void ApplyWindowChange();
    void ProcessFrame(const renderkit::QueuedFrame& frame);
    void OnPicture(AVFrame* picture, uint32_t number, bool damaged);
    // fresh: a new picture (the drawing callback runs); else a repaint.
    void Present(const AVFrame* picture, bool fresh);
    void Redraw();
};

void CPlayVideo::Impl::Run() {
    thread_id = std::this_thread::get_id();
    waiting_for_key = true;
    bound_generation = ~uint64_t{0};
    ApplyWindowChange();
    while (!stop.load()) {
        renderkit::QueuedFrame frame;
        const int wait_ms = target.usable() ? kEventPollMs : kIdleWaitMs;
        const bool got = queue.Pop(&frame, wait_ms);
        ApplyWindowChange();  // before any drawing, so a redraw goes to the new window
        if (got) {
            ProcessFrame(frame);
            queue.Recycle(std::move(frame));
        }
        bool redraw = target.usable() && target.PollEvents();
        {
            std::lock_guard lock(settings_mutex);
            redraw = redraw || redraw_requested;
            redraw_requested = false;
        }
        if (redraw && !stop.load()) Redraw();
    }
    target.Clear();
    target.Shutdown();
    bound_generation = ~uint64_t{0};
    thread_id = std::thread::id{};
}

void CPlayVideo::Impl::ApplyWindowChange() {
    ZYNVS_WND want;
    uint64_t generation;
    {
        std::lock_guard lock(settings_mutex);
        want = wnd;
        generation = wnd_generation;
    }
    if (generation == bound_generation) return;
    bound_generation = generation;
    if (target.window() != 0 && target.window() != want) target.Clear();
    // Failure: no drawing until the next change. Success: the new window gets
    // the last picture even when a redraw asked for with the change was
    // already taken by the old window.
    if (target.Bind(want)) {
        std::lock_guard lock(settings_mutex);
        redraw_requested = true;
    }
}

void CPlayVideo::Impl::ProcessFrame(const renderkit::QueuedFrame& frame) {
    const auto on_picture = [this](AVFrame* picture, uint32_t number, bool damaged) {
        OnPicture(picture, number, damaged);
    };
    if (frame.drain) {
        if (frame.show) {
            decoder.Drain(on_picture);
        } else {
            decoder.Flush();
        }
        hidden.clear();
        waiting_for_key = true;  // the decoder starts again at a key frame
        return;
    }
    if (waiting_for_key && !frame.key) {
        ++skipped;
        return;
    }
    if (frame.key && waiting_for_key) waiting_for_key = false;
    if (!frame.show) hidden.push_back(frame.number);
    const bool ok = decoder.Decode(frame.data.data(), frame.length, frame.number, on_picture);
    reorder_delay = decoder.reorder_delay();
    if (!ok) {
        ++errors;
        waiting_for_key = true;
    }
}

void CPlayVideo::Impl::OnPicture(AVFrame* picture, uint32_t number, bool damaged) {
    if (damaged) {
        // Concealed pictures are not shown; the stream is clean again at the
        // next key frame.
        ++errors;
        waiting_for_key = true;
        return;
    }
    if (waiting_for_key) return;  // a picture of a frame decoded before an error
    ++decoded;
    if (const auto it = std::find(hidden.begin(), hidden.end(), number); it != hidden.end()) {
        hidden.erase(it);
        return;
    }
    ++shown;
    width = picture->width;
    height = picture->height;

    dec_callback.Invoke([&](RenderDecCallback cb, void* user, int channel) {
        ZynDecodedPicture view{};
        if (i420.Make(picture, number, &view)) {
            cb(&view, static_cast<uint16_t>(sizeof(ZynDecodedPicture)), channel, user);
        }
    });

    {
        std::lock_guard lock(picture_mutex);
        if (!last_picture) last_picture = renderkit::MakeFrame();
        if (last_picture) {
            av_frame_unref(last_picture.get());
            if (av_frame_ref(last_picture.get(), picture) < 0) last_picture.reset();
        }
        last_number = number;
    }
    Present(picture, true);
}

void CPlayVideo::Impl::Present(const AVFrame* picture, bool fresh) {
    const bool has_draw_callback = draw_callback.is_set();
    if (!has_draw_callback && !target.usable() && !fresh) return;
    const int pw = picture->width;
    const int ph = picture->height;
    const int surface_stride = pw * 4;
    if (fresh) {
        surface_painted = false;
        if (has_draw_callback) {
            surface.resize(static_cast<size_t>(surface_stride) * ph);
            if (yuv_to_bgra.Convert(picture, ZYNVS_RECT{0, 0, pw, ph}, surface.data(), pw, ph,
                                    surface_stride)) {
                draw_callback.Invoke([&](ZynDrawCallback cb, void* user, int) {
                    ZynDrawSurface dc{surface.data(), pw, ph, surface_stride, 0};
                    ZYNVS_SIZE size{pw, ph};
                    cb(&dc, &size, play_channel.load(), user);
                });
                surface_painted = true;
            }
        }
    }
    if (!target.usable()) return;
    ZYNVS_RECT crop;
    {
        std::lock_guard lock(settings_mutex);
        crop = renderkit::ClipRect(has_src_rect ? &src_rect : nullptr, pw, ph);
    }
    int ww = 0, wh = 0, ws = 0;
    uint8_t* dst = target.BeginFrame(&ww, &wh, &ws);
    if (dst == nullptr) return;
    // A painted surface is what the host wants shown, also when repainting.
    const bool ok = surface_painted
                        ? bgra_scaler.Scale(surface.data(), surface_stride, crop, dst, ww, wh, ws)
                        : yuv_to_bgra.Convert(picture, crop, dst, ww, wh, ws);
    if (ok && target.EndFrame() && fresh) ++drawn;
}

void CPlayVideo::Impl::Redraw() {
    FramePtr copy = renderkit::MakeFrame();
    {
        std::lock_guard lock(picture_mutex);
        if (!last_picture || !copy || av_frame_ref(copy.get(), last_picture.get()) < 0) return;
    }
    Present(copy.get(), false);
}

// ---- CPlayVideo ----------------------------------------------------------

CPlayVideo::CPlayVideo() : impl_(std::make_unique<Impl>()) {}

CPlayVideo::~CPlayVideo() {
    StopVideo();
    // A destructor called from the player's own callback cannot join its own
    // thread; that misuse is documented, here we at least do not crash later.
    if (impl_->thread.joinable()) impl_->thread.detach();
}

int CPlayVideo::SetWnd(ZYNVS_WND wnd, int display_flag) {
    {
        std::lock_guard lock(impl_->settings_mutex);
        impl_->display_flag = display_flag;
        if (impl_->wnd != wnd) {
            impl_->wnd = wnd;
            ++impl_->wnd_generation;
            impl_->redraw_requested = true;
        }
    }
    impl_->queue.Wake();
    return 1;
}

int CPlayVideo::SetGuid(const uint8_t guid[16]) {
    if (guid == nullptr) return 0;
    std::lock_guard lock(impl_->settings_mutex);
    std::memcpy(impl_->guid, guid, 16);
    return 1;
}

int CPlayVideo::GetGuid(uint8_t guid[16]) {
    if (guid == nullptr) return 0;
    std::lock_guard lock(impl_->settings_mutex);
    std::memcpy(guid, impl_->guid, 16);
    return 1;
}

int CPlayVideo::StartVideo(int width, int height, int mode) {
    std::lock_guard life(impl_->lifecycle_mutex);
    {
        std::lock_guard lock(impl_->settings_mutex);
        impl_->width_hint = width;
        impl_->height_hint = height;
        impl_->mode = mode;
    }
    if (impl_->running) return 1;
    if (impl_->OnDecodeThread()) return 0;
    if (!impl_->decoder.Open()) return 0;
    impl_->queue.Clear();
    impl_->queue.Reopen();
    impl_->stop = false;
    try {
        impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
    } catch (...) {
        impl_->queue.Close();
        impl_->decoder.Close();
        return 0;
    }
    impl_->running = true;
    return 1;
}

int CPlayVideo::InitVideoWindow(ZYNVS_WND wnd, int width, int height, int mode) {
    SetWnd(wnd, 1);
    return StartVideo(width, height, mode);
}

int CPlayVideo::StopVideo() {
    std::lock_guard life(impl_->lifecycle_mutex);
    if (!impl_->running) return 1;
    if (impl_->OnDecodeThread()) return 0;  // from inside a callback: cannot join itself
    impl_->stop = true;
    impl_->queue.Close();
    impl_->thread.join();
    impl_->running = false;
    impl_->queue.Clear();
    impl_->decoder.Close();
    return 1;
}

int CPlayVideo::SendOneFrame1(const uint8_t* frame, int length, uint32_t frame_number) {
    return SendFrame(frame, length, frame_number, true);
}

int CPlayVideo::SendFrame(const uint8_t* frame, int length, uint32_t frame_number, bool show) {
    if (frame == nullptr || length <= 0) return 0;
    const auto result = impl_->queue.Push(frame, static_cast<size_t>(length), frame_number, show);
    if (result == FrameQueue::PushResult::kClosed) return 0;
    ++impl_->received;
    return result == FrameQueue::PushResult::kQueued ? 1 : 0;
}

int CPlayVideo::SendOneFrame(const uint8_t* frame, int length) {
    return SendOneFrame1(frame, length, 0);
}

int CPlayVideo::ChangeDisplayWnd(ZYNVS_WND wnd, int flag) {
    {
        std::lock_guard lock(impl_->settings_mutex);
        impl_->change_flag = flag;
        impl_->wnd = wnd;
        ++impl_->wnd_generation;
        impl_->redraw_requested = true;
    }
    impl_->queue.Wake();
    return 1;
}

int CPlayVideo::CaptureBitmap(const char* path) {
    if (path == nullptr || *path == '\0') return 0;
    FramePtr copy = renderkit::MakeFrame();
    if (!copy) return 0;
    {
        std::lock_guard lock(impl_->picture_mutex);
        if (!impl_->last_picture || av_frame_ref(copy.get(), impl_->last_picture.get()) < 0) {
            return 0;
        }
    }
    return renderkit::SavePicture(copy.get(), path) ? 1 : 0;
}

int CPlayVideo::SetSrcRect(const ZYNVS_RECT* r) {
    {
        std::lock_guard lock(impl_->settings_mutex);
        if (r == nullptr || (r->left == 0 && r->top == 0 && r->right == 0 && r->bottom == 0)) {
            impl_->has_src_rect = false;
        } else {
            if (r->left < 0 || r->top < 0 || r->right <= r->left || r->bottom <= r->top) return 0;
            impl_->has_src_rect = true;
            impl_->src_rect = *r;
        }
        impl_->redraw_requested = true;
    }
    impl_->queue.Wake();
    return 1;
}

int CPlayVideo::GetSrcRect(ZYNVS_RECT* r) {
    if (r == nullptr) return 0;
    std::lock_guard lock(impl_->settings_mutex);
    if (impl_->has_src_rect) {
        *r = impl_->src_rect;
    } else {
        *r = ZYNVS_RECT{0, 0, impl_->width.load(), impl_->height.load()};
    }
    return 1;
}

int CPlayVideo::RegisterCallback(ZynDrawCallback cb, void* user) {
    impl_->draw_callback.Set(cb, user);
    return 1;
}

int CPlayVideo::SetPlayChannel(int channel) {
    impl_->play_channel = channel;
    return 1;
}

int CPlayVideo::RegisterDecCallback(RenderDecCallback cb, int channel, void* user) {
    impl_->dec_callback.Set(cb, user, channel);
    return 1;
}

void CPlayVideo::GetStats(RenderVideoStats* stats) {
    if (stats == nullptr) return;
    stats->frames_received = impl_->received.load();
    stats->frames_dropped = impl_->queue.dropped();
    stats->frames_skipped = impl_->skipped.load();
    stats->frames_decoded = impl_->decoded.load();
    stats->frames_shown = impl_->shown.load();
    stats->reorder_delay = impl_->reorder_delay.load();
    stats->frames_drawn = impl_->drawn.load();
    stats->decode_errors = impl_->errors.load();
    stats->width = impl_->width.load();
    stats->height = impl_->height.load();
}

int CPlayVideo::Drain() {
    return impl_->queue.PushDrain(true) == FrameQueue::PushResult::kQueued ? 1 : 0;
}

int CPlayVideo::Discard() {
    return impl_->queue.PushDrain(false) == FrameQueue::PushResult::kQueued ? 1 : 0;
}

void CPlayVideo::SetBackPressure(bool on) {
    impl_->queue.SetBackPressure(on);
}

int CPlayVideo::WaitIdle(int timeout_ms) {
    return impl_->queue.WaitIdle(timeout_ms) ? 1 : 0;
}

void CPlayVideo::SetQueueLimits(int max_frames, int max_bytes, int max_frame_bytes) {
    impl_->queue.SetLimits(
        max_frames > 0 ? static_cast<size_t>(max_frames) : kDefaultQueueFrames,
        max_bytes > 0 ? static_cast<size_t>(max_bytes) : kDefaultQueueBytes,
        max_frame_bytes > 0 ? static_cast<size_t>(max_frame_bytes) : kDefaultMaxFrameBytes);
}
