#include "renderkit/play_audio.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "renderkit/audio_format.h"
#include "renderkit/sample_ring.h"
#include "renderkit/sdl_audio.h"

namespace {
constexpr size_t kRingSamples = renderkit::kAudioSampleRate;  // one second
constexpr int kDeviceSamples = 512;                           // per SDL callback
constexpr int kMaxBlockBytes = 65536;

int16_t ApplyVolume(int16_t sample, int volume) {
    // volume + 1 makes 0xFFFF exact; 0 is handled by the caller.
    return static_cast<int16_t>((static_cast<int32_t>(sample) * (volume + 1)) / 65536);
}
}  // namespace

struct CPlayAudio::Impl {
    // ---- guarded by mutex (host threads)
    std::mutex mutex;
    bool started = false;
    int format = renderkit::kAudioFormatMulaw;
    ZYNVS_WND wnd = 0;
    uint32_t device = 0;  // 0: null output
    std::vector<int16_t> decoded;

    // ---- guarded by ring_mutex (host threads and SDL's audio thread)
    std::mutex ring_mutex;
    std::condition_variable ring_drained;
    renderkit::SampleRing ring{kRingSamples};

    std::atomic<int> volume{0xFFFF};
    std::atomic<bool> mute{false};
    std::atomic<uint64_t> blocks{0};
    std::atomic<uint64_t> samples_in{0};
    std::atomic<uint64_t> samples_played{0};
    std::atomic<uint64_t> samples_dropped{0};

    static void Fill(void* user, uint8_t* stream, int length) {
        static_cast<Impl*>(user)->FillOutput(reinterpret_cast<int16_t*>(stream),
                                              static_cast<size_t>(length) / 2);
    }

    // SDL's audio thread.
    void FillOutput(int16_t* out, size_t n) {
        size_t got;
        {
            std::lock_guard lock(ring_mutex);
            got = ring.Pop(out, n);
            samples_played += got;  // before waiters see the ring drained
        }
        if (got > 0) ring_drained.notify_all();
        std::fill(out + got, out + n, int16_t{0});
        const int v = volume.load();
        if (mute.load() || v == 0) {
            std::fill(out, out + got, int16_t{0});
        } else if (v != 0xFFFF) {
            for (size_t i = 0; i < got; ++i) out[i] = ApplyVolume(out[i], v);
        }
    }

    void CloseDevice() {
        renderkit::CloseSdlAudio(device);
        device = 0;
        std::lock_guard lock(ring_mutex);
        ring.clear();
        ring_drained.notify_all();
    }
};

CPlayAudio::CPlayAudio() : impl_(std::make_unique<Impl>()) {}

CPlayAudio::~CPlayAudio() { StopAudio(); }

int CPlayAudio::StartAudio(ZYNVS_WND wnd, int format) {
    std::lock_guard lock(impl_->mutex);
    impl_->wnd = wnd;
    impl_->format = renderkit::NormaliseAudioFormat(format);
    if (impl_->started) return 1;
    impl_->blocks = 0;
    impl_->samples_in = 0;
    impl_->samples_played = 0;
    impl_->samples_dropped = 0;
    impl_->device = renderkit::OpenSdlAudio(false, renderkit::kAudioSampleRate, kDeviceSamples,
                                            &Impl::Fill, impl_.get());
    impl_->started = true;
    return 1;
}

int CPlayAudio::SendOneFrame(const uint8_t* data, int length, int type) {
    if (data == nullptr || length <= 0 || length > kMaxBlockBytes) return 0;
    std::lock_guard lock(impl_->mutex);
    if (!impl_->started) return 0;
    if (impl_->device != 0 && !renderkit::SdlAudioAlive(impl_->device)) {
        impl_->CloseDevice();  // the device went away: go on silently
    }
    const int format = (type >= renderkit::kAudioFormatMulaw && type <= renderkit::kAudioFormatPcm16)
                           ? type
                           : impl_->format;
    const size_t skip = renderkit::AudioFrameHeaderLength(data, static_cast<size_t>(length));
    const size_t bytes = static_cast<size_t>(length) - skip;
    impl_->decoded.resize(bytes);
    const size_t n =
        renderkit::DecodeAudioBlock(format, data + skip, bytes, impl_->decoded.data(), bytes);
    ++impl_->blocks;
    impl_->samples_in += n;
    if (impl_->device == 0) return 1;
    size_t dropped;
    {
        std::lock_guard ring_lock(impl_->ring_mutex);
        dropped = impl_->ring.Push(impl_->decoded.data(), n);
    }
    impl_->samples_dropped += dropped;
    return 1;
}

int CPlayAudio::StopAudio() {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->started) return 1;
    impl_->CloseDevice();
    impl_->started = false;
    return 1;
}

int CPlayAudio::SetVolume(uint16_t volume) {
    impl_->volume = volume;
    return 1;
}

int CPlayAudio::SetMute(int mute) {
    impl_->mute = mute != 0;
    return 1;
}

void CPlayAudio::GetStats(RenderAudioStats* stats) {
    if (stats == nullptr) return;
    stats->blocks = impl_->blocks.load();
    stats->samples_in = impl_->samples_in.load();
    stats->samples_played = impl_->samples_played.load();
    stats->samples_dropped = impl_->samples_dropped.load();
    std::lock_guard lock(impl_->mutex);
    stats->null_output = impl_->device == 0 ? 1 : 0;
}

int CPlayAudio::WaitPlayed(int timeout_ms) {
    std::unique_lock lock(impl_->ring_mutex);
    return impl_->ring_drained.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                        [&] { return impl_->ring.size() == 0; })
               ? 1
               : 0;
}
