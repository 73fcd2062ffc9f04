// Bounded queue of compressed video frames between the feeding thread and a
// decode thread. Two policies for a full queue:
// - live (the default): Push never blocks on the consumer (it takes one short
//   lock and copies the frame). The incoming frame is dropped, and so is every
//   following frame up to the next key frame, so that the decoder is never
//   handed a group of pictures with a hole in it.
// - back-pressure (files): Push waits until the consumer has made room, so
//   nothing is dropped; Close() ends the wait.
// Buffers are recycled: in steady state nothing is allocated per frame.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace renderkit {

struct QueuedFrame {
    std::vector<uint8_t> data;  // frame bytes followed by zeroed padding
    size_t length = 0;          // frame bytes without padding
    uint32_t number = 0;
    bool key = false;
    bool show = true;  // false: decode it (a reference for later frames) but show nothing
    // No frame: the decoder gives out every picture it holds back (or, with
    // show false, forgets them) and starts again at a key frame.
    bool drain = false;
};

class FrameQueue {
public:
    // Zero bytes the decoder may read past the end of a frame.
    static constexpr size_t kPaddingBytes = 64;

    enum class PushResult { kQueued, kDropped, kClosed };

    FrameQueue(size_t max_frames, size_t max_bytes, size_t max_frame_bytes);

    // Copies the frame in. kDropped: counted in dropped(); kClosed: the queue
    // is closed or the frame is empty (not counted).
    PushResult Push(const uint8_t* data, size_t length, uint32_t number, bool show = true);
    // Queues a drain request behind the frames queued so far (never dropped).
    PushResult PushDrain(bool show);
    // true: Push waits for room instead of dropping (see above).
    void SetBackPressure(bool on);

    // Waits up to timeout_ms for a frame. Returns false on time-out or when the
    // queue was closed and is empty. The consumer gives the buffer back with
    // Recycle() when it has finished with the frame.
    bool Pop(QueuedFrame* out, int timeout_ms);
    void Recycle(QueuedFrame&& frame);

    // Waits until the queue is empty and the consumer has recycled the last
    // frame it popped. False on time-out.
    bool WaitIdle(int timeout_ms);

    // Wakes a waiting Pop without a frame (Pop then returns false).
    void Wake();

    // Drops everything queued (not counted as dropped); the decoder then waits
    // for a key frame by itself. Close() also makes Push refuse; Reopen() undoes it.
    void Clear();
    void Close();
    void Reopen();

    void SetLimits(size_t max_frames, size_t max_bytes, size_t max_frame_bytes);

    size_t size() const;
    uint64_t dropped() const;
    // Frames refused because they were larger than max_frame_bytes (also in dropped()).
    uint64_t oversized() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable idle_;
    std::condition_variable room_;
    // -- all guarded by mutex_
    std::deque<QueuedFrame> frames_;
    std::vector<std::vector<uint8_t>> spare_;
    size_t queued_bytes_ = 0;
    size_t max_frames_;
    size_t max_bytes_;
    size_t max_frame_bytes_;
    bool dropping_ = false;  // dropping until the next key frame
    bool closed_ = false;
    bool back_pressure_ = false;
    bool wake_ = false;
    bool busy_ = false;  // the consumer holds a popped frame
    uint64_t dropped_ = 0;
    uint64_t oversized_ = 0;
};

}  // namespace renderkit
