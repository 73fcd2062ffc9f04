// FrameAssembler: collects the fragments of live video frames (the 0x0301
// payloads: a 24-byte fragment header, then data) into one fixed buffer.
//
// A fragment with index 0 opens a frame (a frame still open then is dropped);
// the following fragments must carry the next index and stay within the total
// the first one announced; the frame is complete when the data reach that
// total. A fragment out of order, repeated or running past the total drops the
// frame, and nothing is collected until the next index 0. A frame that would
// not fit the buffer is dropped at once.
//
// With Layout::kRecord the buffer holds the frame record handed to callbacks
// and recorders: the 6-byte prefix, the first fragment's header, the data.
// With Layout::kBare it holds the data alone.
//
// Not thread-safe: one receive thread feeds it. The buffer is allocated at the
// first frame and not value-initialised.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zyn {

class FrameAssembler {
public:
    enum class Layout { kRecord, kBare };
    enum class Result {
        kIgnored,   // too short for a header, or no frame open
        kPending,   // collected; the frame is not whole yet
        kComplete,  // the frame is whole: frame() and frame_bytes() hold it
        kDropped,   // the frame is dropped (order, overflow or size)
    };

    // `dropped` (may be null) counts every dropped frame.
    FrameAssembler(std::size_t capacity_bytes, Layout layout,
                   std::atomic<uint64_t>* dropped = nullptr);

    Result Add(const uint8_t* fragment, std::size_t length);
    // Forgets the open frame without counting it; the next index 0 starts afresh.
    void Reset() { open_ = false; }

    // The last completed frame, valid until the next Add.
    uint8_t* frame() { return buffer_.get(); }
    std::size_t frame_bytes() const { return fill_; }
    // Data bytes of the frame (its total), without the record header.
    std::size_t data_bytes() const { return total_; }
    bool open() const { return open_; }

private:
    void Drop();

    const std::size_t capacity_;
    const std::size_t head_;  // bytes before the data: 30 or 0
    std::atomic<uint64_t>* const dropped_;
    std::unique_ptr<uint8_t[]> buffer_;
    std::size_t fill_ = 0;
    std::size_t total_ = 0;
    uint8_t next_index_ = 0;
    bool open_ = false;
};

}  // namespace zyn
