// CImageDraw: construction, opening, stream input and reassembly, display,
// snapshots, callbacks and sound.
#include "playctrl/image_draw.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace playctrl {
namespace {
// Internal setting for benchmarks and `zynvs play --benchmark`: file ports
// created while ZYNVS_PLAY_NO_PACING is set to a non-zero value play without
// any waits.
bool PacingFromEnvironment() {
    const char* v = std::getenv("ZYNVS_PLAY_NO_PACING");
    return v == nullptr || *v == '\0' || std::strcmp(v, "0") == 0;
}
}  // namespace

CImageDraw::CImageDraw(Kind kind, ZYNVS_WND window, const char* path)
    : kind_(kind),
      window_(kind == Kind::kDisplay ? 0 : window),
      file_name_(kind == Kind::kFile && path ? path : ""),
      pacing_(PacingFromEnvironment()),
      clock_(std::make_shared<SteadyPlayClock>()) {}

CImageDraw::~CImageDraw() {
    // Order: time index, playback, decoder instance, file, then (as members)
    // the frame buffer, the audio and the video object.
    time_index_.clear();
    StopProcedure();
    if (thread_.joinable()) thread_.detach();  // only when destroyed by its own thread
    if (decoder_ != nullptr) {
        Hi264DecDestroy(decoder_);
        decoder_ = nullptr;
    }
    CloseRecording();
}

void CImageDraw::Shutdown() {
    time_index_.clear();
    StopProcedure();
    if (!thread_alive_.load()) FinishPictures();
    CloseFileIfIdle();
}

// ---- Opening --------------------------------------------------------------------------

int CImageDraw::OpenDisplay(ZYNVS_WND window) {
    if (frames_.frame() == nullptr) return 0;
    video_.SetWnd(window, 1);
    return video_.InitVideoWindow(window, 0, 0, 1) != 0 ? 1 : 0;
}

int CImageDraw::OpenStream() {
    if (frames_.frame() == nullptr) return 0;
    if (decoder_ == nullptr) {
        const Hi264DecAttr attr = StreamPortDecoderAttr();
        decoder_ = Hi264DecCreate(&attr);
    }
    return decoder_ != nullptr ? 1 : 0;
}

int CImageDraw::OpenFile() {
    if (frames_.frame() == nullptr) return 0;
    if (!OpenFileStream()) return 0;
    video_.SetBackPressure(true);  // a file waits for its decoder: no frame is dropped
    const ZYNVS_WND wnd = window_.load();
    video_.SetWnd(wnd, 1);
    return video_.InitVideoWindow(wnd, picture_width_, picture_height_, video_window_mode_) != 0
               ? 1
               : 0;
}

// ---- Stream input ---------------------------------------------------------------------

void CImageDraw::InputData(int type, const uint8_t* buffer, uint32_t size) {
    // Every packet carries the 6-byte prefix and the 24-byte header; shorter
    // ones are dropped before anything is read from them.
    if (buffer == nullptr || size < kRecordHeadBytes) return;
    const uint8_t* header = buffer + kPrefixBytes;
    if (type == 0) {
        if (!stream_initialised_.load()) {
            const ZYNVS_WND wnd = window_.load();
            if (wnd == 0) return;
            if (wire::FragmentHeader(header).resolution() == 5) {
                display_width_ = 1920;
                display_height_ = 1080;
            } else {
                display_width_ = 1280;
                display_height_ = 720;
            }
            video_.SetWnd(wnd, 1);
            video_.InitVideoWindow(wnd, display_width_, display_height_, video_window_mode_);
            stream_initialised_ = 1;
            return;
        }
        const uint32_t length = static_cast<uint32_t>(mediafile::RecordPayloadLength('V', header));
        // The payload must lie inside the packet that was given.
        if (length > size - kRecordHeadBytes) return;
        Reassemble(header, buffer + kRecordHeadBytes, length,
                   wire::FragmentHeader(header).frame_number());
    } else if (type == 1) {
        const uint32_t length = static_cast<uint32_t>(mediafile::RecordPayloadLength('A', header));
        if (!sound_on_.load() || length >= kMaxStreamAudioBytes ||
            size != kRecordHeadBytes + length) {
            return;
        }
        RouteAudio(buffer + kRecordHeadBytes, static_cast<int>(length),
                   wire::AudioHeader(header).audio_type());
    }
}

int CImageDraw::Reassemble(const uint8_t* header, const uint8_t* payload, uint32_t length,
                           uint32_t frame_number, bool show) {
    FrameObserver observer;
    std::lock_guard lock(reassembly_mutex_);
    if (!frames_.Add(header, payload, length)) return -1;
    {
        std::lock_guard cb_lock(callback_mutex_);
        observer = frame_observer_;
    }
    const uint32_t bytes = static_cast<uint32_t>(frames_.frame_bytes());
    if (show) {
        if (observer) observer(frames_.frame(), bytes, frame_number);
        ++frames_handed_on_;
    }
    video_.SendFrame(frames_.frame(), static_cast<int>(bytes), frame_number, show);
    return 0;
}

// ---- Callbacks, display, snapshots ---------------------------------------------------

void CImageDraw::SetDecCallback(PlayDataCallback cb, void* user) {
    if (cb != nullptr) dec_callback_.Set(cb, user, port_number_);
}

void CImageDraw::SetRealDataCallback(PlayDataCallback cb, void* user) {
    if (cb != nullptr) real_data_callback_.Set(cb, user, port_number_);
}

void CImageDraw::SetAudioCallback(PlayDataCallback cb, void* user) {
    if (cb != nullptr) audio_callback_.Set(cb, user, port_number_);
}

void CImageDraw::set_frame_observer(FrameObserver observer) {
    std::lock_guard lock(callback_mutex_);
    frame_observer_ = std::move(observer);
}

void CImageDraw::RegisterDrawCallback(PlayDrawCallback cb, void* user) {
    play_channel_ = port_number_;
    video_.SetPlayChannel(play_channel_);
    video_.RegisterCallback(cb, user);
}

void CImageDraw::CapPic(const char* path, int type) {
    capture_type_ = type;
    capture_path_ = path ? path : "";
    if (path != nullptr) video_.CaptureBitmap(path);
}

// ---- Sound ----------------------------------------------------------------------------

void CImageDraw::StartSound(bool host_request) {
    if (sound_on_.load()) return;
    if (host_request && !stream_initialised_.load()) return;
    const ZYNVS_WND wnd = window_.load();
    if (wnd == 0) return;
    audio_prepared_ = 1;
    if (audio_.StartAudio(wnd, audio_mode_.load()) != 0) sound_on_ = 1;
}

void CImageDraw::StopSound() {
    if (sound_on_.load() && !playing_.load()) {
        audio_prepared_ = 0;
        sound_on_ = 0;
    }
}

void CImageDraw::RouteAudio(const uint8_t* data, int length, uint8_t codec) {
    // The host receives the audio payload and its length.
    if (audio_callback_.Invoke([&](PlayDataCallback cb, void* user, int port) {
            cb(port, const_cast<uint8_t*>(data), length, user);
        })) {
        return;
    }
    audio_.SendOneFrame(data, length, codec);
}

}  // namespace playctrl
