#include "renderkit/frame_queue.h"

#include <chrono>
#include <cstring>

#include "renderkit/h264_bitstream.h"

namespace renderkit {

namespace {
constexpr size_t kMaxSpareBuffers = 8;
}

FrameQueue::FrameQueue(size_t max_frames, size_t max_bytes, size_t max_frame_bytes)
    : max_frames_(max_frames), max_bytes_(max_bytes), max_frame_bytes_(max_frame_bytes) {}

FrameQueue::PushResult FrameQueue::Push(const uint8_t* data, size_t length, uint32_t number,
                                        bool show) {
    if (data == nullptr || length == 0) return PushResult::kClosed;
    const bool key = IsH264KeyFrame(data, length);
    {
        std::unique_lock lock(mutex_);
        if (back_pressure_ && length <= max_frame_bytes_) {
            room_.wait(lock, [&] {
                return closed_ || !back_pressure_ || frames_.empty() ||
                       (frames_.size() < max_frames_ && queued_bytes_ + length <= max_bytes_);
            });
        }
        if (closed_) return PushResult::kClosed;
        if (length > max_frame_bytes_) {
            ++oversized_;
            ++dropped_;
            dropping_ = true;
            return PushResult::kDropped;
        }
        if (dropping_ && !key) {
            ++dropped_;
            return PushResult::kDropped;
        }
        const bool full = frames_.size() >= max_frames_ || queued_bytes_ + length > max_bytes_;
        if (full && !(back_pressure_ && frames_.empty())) {
            ++dropped_;
            dropping_ = true;
            return PushResult::kDropped;
        }
        dropping_ = false;
        QueuedFrame frame;
        if (!spare_.empty()) {
            frame.data = std::move(spare_.back());
            spare_.pop_back();
        }
        // One copy of at most max_frame_bytes under the lock: the consumer
        // waits for it at most that long, the feeder never waits for decoding.
        frame.data.resize(length + kPaddingBytes);
        std::memcpy(frame.data.data(), data, length);
        std::memset(frame.data.data() + length, 0, kPaddingBytes);
        frame.length = length;
        frame.number = number;
        frame.key = key;
        frame.show = show;
        queued_bytes_ += length;
        frames_.push_back(std::move(frame));
    }
    ready_.notify_one();
    return PushResult::kQueued;
}

FrameQueue::PushResult FrameQueue::PushDrain(bool show) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return PushResult::kClosed;
        QueuedFrame marker;
        marker.drain = true;
        marker.show = show;
        frames_.push_back(std::move(marker));
    }
    ready_.notify_one();
    return PushResult::kQueued;
}

void FrameQueue::SetBackPressure(bool on) {
    {
        std::lock_guard lock(mutex_);
        back_pressure_ = on;
    }
    room_.notify_all();
}

bool FrameQueue::Pop(QueuedFrame* out, int timeout_ms) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return wake_ || !frames_.empty(); };
    if (!ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) return false;
    if (wake_) {
        wake_ = false;
        if (frames_.empty()) return false;
    }
    *out = std::move(frames_.front());
    frames_.pop_front();
    queued_bytes_ -= out->length;
    busy_ = true;
    room_.notify_all();
    return true;
}

void FrameQueue::Recycle(QueuedFrame&& frame) {
    {
        std::lock_guard lock(mutex_);
        if (spare_.size() < kMaxSpareBuffers && frame.data.capacity() != 0) {
            spare_.push_back(std::move(frame.data));
        }
        frame.data = {};
        busy_ = false;
    }
    idle_.notify_all();
}

bool FrameQueue::WaitIdle(int timeout_ms) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                          [&] { return frames_.empty() && !busy_; });
}

void FrameQueue::Wake() {
    {
        std::lock_guard lock(mutex_);
        wake_ = true;
    }
    ready_.notify_all();
}

void FrameQueue::Clear() {
    std::lock_guard lock(mutex_);
    for (auto& f : frames_) {
        if (spare_.size() < kMaxSpareBuffers) spare_.push_back(std::move(f.data));
    }
    frames_.clear();
    queued_bytes_ = 0;
    dropping_ = false;
    idle_.notify_all();
    room_.notify_all();
}

void FrameQueue::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    Clear();
    Wake();
}

void FrameQueue::Reopen() {
    std::lock_guard lock(mutex_);
    closed_ = false;
    wake_ = false;
    dropping_ = false;
}

void FrameQueue::SetLimits(size_t max_frames, size_t max_bytes, size_t max_frame_bytes) {
    std::lock_guard lock(mutex_);
    max_frames_ = max_frames == 0 ? 1 : max_frames;
    max_bytes_ = max_bytes;
    max_frame_bytes_ = max_frame_bytes;
    room_.notify_all();
}

size_t FrameQueue::size() const {
    std::lock_guard lock(mutex_);
    return frames_.size();
}

uint64_t FrameQueue::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

uint64_t FrameQueue::oversized() const {
    std::lock_guard lock(mutex_);
    return oversized_;
}

}  // namespace renderkit
