// Collects a recording's video fragments into whole frames: a fragment with
// index 0 starts a new frame; a fragment that would overflow the buffer
// starts it afresh; the frame is complete when index + 1 equals the fragment
// count. Fragment numbers, frame numbers and declared totals are not checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mediafile {

class FrameAssembler {
public:
    // Allocates the kFrameBufferBytes buffer; without memory every Add fails.
    FrameAssembler();
    // True when this fragment completed a frame; frame()/frame_bytes() then
    // hold it until the next Add.
    bool Add(const uint8_t* header, const uint8_t* payload, std::size_t length);
    const uint8_t* frame() const { return buffer_.get(); }
    std::size_t frame_bytes() const { return frame_bytes_; }
    std::size_t fill() const { return fill_; }
    void Reset() { fill_ = frame_bytes_ = 0; }

private:
    std::unique_ptr<uint8_t[]> buffer_;  // kFrameBufferBytes
    std::size_t fill_ = 0;
    std::size_t frame_bytes_ = 0;
};

}  // namespace mediafile
