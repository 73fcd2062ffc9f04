#include "mediafile/frame_assembler.h"

#include <cstring>
#include <new>

#include "mediafile/record_reader.h"

namespace mediafile {

FrameAssembler::FrameAssembler() : buffer_(new (std::nothrow) uint8_t[kFrameBufferBytes]) {}

bool FrameAssembler::Add(const uint8_t* header, const uint8_t* payload, std::size_t length) {
    if (!buffer_) return false;
    if (wire::FragmentHeader(header).fragment_index() == 0) fill_ = 0;
    if (fill_ + length > kFrameBufferBytes) fill_ = 0;
    if (length > kFrameBufferBytes) return false;
    if (length > 0) std::memcpy(buffer_.get() + fill_, payload, length);
    fill_ += length;
    if (!LastFragment(header)) return false;
    frame_bytes_ = fill_;
    fill_ = 0;
    return true;
}

}  // namespace mediafile
