#include "renderkit/talk.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "renderkit/audio_format.h"
#include "renderkit/callback_slot.h"
#include "renderkit/g711.h"
#include "renderkit/sample_ring.h"
#include "renderkit/sdl_audio.h"

namespace {
constexpr size_t kRingSamples = renderkit::kAudioSampleRate;  // one second
constexpr int kDeviceSamples = 320;
constexpr int kWaitMs = 200;

size_t EncodeBlock(int format, const int16_t* pcm, size_t n, uint8_t* out) {
    switch (renderkit::NormaliseAudioFormat(format)) {
        case renderkit::kAudioFormatPcm16:
            for (size_t i = 0; i < n; ++i) {
                out[2 * i] = static_cast<uint8_t>(pcm[i] & 0xFF);
                out[2 * i + 1] = static_cast<uint8_t>((pcm[i] >> 8) & 0xFF);
            }
            return 2 * n;
        case renderkit::kAudioFormatAlaw:
            renderkit::WriteAudioFrameHeader(n, out);
            renderkit::AlawEncodeBlock(pcm, n, out + renderkit::kAudioFrameHeaderBytes);
            return renderkit::kAudioFrameHeaderBytes + n;
        default:
            renderkit::WriteAudioFrameHeader(n, out);
            renderkit::MulawEncodeBlock(pcm, n, out + renderkit::kAudioFrameHeaderBytes);
            return renderkit::kAudioFrameHeaderBytes + n;
    }
}
}  // namespace

static_assert(renderkit::kAudioFrameHeaderBytes + kTalkBlockSamples <= kTalkMaxBlockBytes);
static_assert(2 * kTalkBlockSamples <= kTalkMaxBlockBytes);

struct CTalk::Impl {
    // ---- guarded by mutex (host threads)
    std::mutex mutex;
    bool talking = false;
    uint32_t device = 0;
    std::thread thread;

    std::atomic<int> talk_format{1};
    std::atomic<int> audio_format{renderkit::kAudioFormatMulaw};
    std::atomic<std::thread::id> capture_thread_id{};
    renderkit::CallbackSlot<TalkCallback> callback;

    // ---- guarded by ring_mutex (SDL's capture thread and ours)
    std::mutex ring_mutex;
    std::condition_variable ring_ready;
    renderkit::SampleRing ring{kRingSamples};
    bool stop = false;

    std::atomic<uint64_t> blocks{0};
    std::atomic<uint64_t> captured{0};
    std::atomic<uint64_t> dropped{0};

    static void Captured(void* user, uint8_t* stream, int length) {
        auto* self = static_cast<Impl*>(user);
        const size_t n = static_cast<size_t>(length) / 2;
        size_t lost;
        {
            std::lock_guard lock(self->ring_mutex);
            lost = self->ring.Push(reinterpret_cast<const int16_t*>(stream), n);
        }
        self->captured += n;
        self->dropped += lost;
        self->ring_ready.notify_one();
    }

    // Our capture thread.
    void Run() {
        capture_thread_id = std::this_thread::get_id();
        int16_t pcm[kTalkBlockSamples];
        uint8_t block[kTalkMaxBlockBytes];
        for (;;) {
            {
                std::unique_lock lock(ring_mutex);
                ring_ready.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                                    [&] { return stop || ring.size() >= kTalkBlockSamples; });
                if (stop) break;
                if (ring.size() < kTalkBlockSamples) continue;
                ring.Pop(pcm, kTalkBlockSamples);
            }
            const size_t bytes = EncodeBlock(audio_format.load(), pcm, kTalkBlockSamples, block);
            if (callback.Invoke([&](TalkCallback cb, void* user, int) {
                    cb(block, static_cast<uint16_t>(bytes), user);
                })) {
                ++blocks;
            }
        }
        capture_thread_id = std::thread::id{};
    }
};

CTalk::CTalk() : impl_(std::make_unique<Impl>()) {}

CTalk::~CTalk() { StopTalk(); }

void CTalk::SetFormat(uint8_t talk_format, uint8_t audio_format) {
    impl_->talk_format = talk_format;
    impl_->audio_format = renderkit::NormaliseAudioFormat(audio_format);
}

int CTalk::RegisterTalkCallback(TalkCallback cb, void* user) {
    impl_->callback.Set(cb, user);
    return 1;
}

int CTalk::StartTalk() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->talking) return 1;
    {
        std::lock_guard ring_lock(impl_->ring_mutex);
        impl_->ring.clear();
        impl_->stop = false;
    }
    impl_->blocks = 0;
    impl_->captured = 0;
    impl_->dropped = 0;
    impl_->device = renderkit::OpenSdlAudio(true, renderkit::kAudioSampleRate, kDeviceSamples,
                                            &Impl::Captured, impl_.get());
    if (impl_->device == 0) return 0;
    try {
        impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
    } catch (...) {
        renderkit::CloseSdlAudio(impl_->device);
        impl_->device = 0;
        return 0;
    }
    impl_->talking = true;
    return 1;
}

int CTalk::StopTalk() {
    if (impl_->capture_thread_id.load() == std::this_thread::get_id()) return 0;
    std::lock_guard lock(impl_->mutex);
    if (!impl_->talking) return 1;
    renderkit::CloseSdlAudio(impl_->device);  // no capture callback after this
    impl_->device = 0;
    {
        std::lock_guard ring_lock(impl_->ring_mutex);
        impl_->stop = true;
    }
    impl_->ring_ready.notify_all();
    impl_->thread.join();
    impl_->talking = false;
    return 1;
}

int CTalk::IsTalking() {
    std::lock_guard lock(impl_->mutex);
    return impl_->talking && renderkit::SdlAudioAlive(impl_->device) ? 1 : 0;
}

void CTalk::GetStats(RenderTalkStats* stats) {
    if (stats == nullptr) return;
    stats->blocks = impl_->blocks.load();
    stats->samples_captured = impl_->captured.load();
    stats->samples_dropped = impl_->dropped.load();
}

int CTalk::BlockBytes() {
    return renderkit::NormaliseAudioFormat(impl_->audio_format.load()) == renderkit::kAudioFormatPcm16
               ? static_cast<int>(2 * kTalkBlockSamples)
               : static_cast<int>(renderkit::kAudioFrameHeaderBytes + kTalkBlockSamples);
}
