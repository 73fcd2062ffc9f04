#include "decodekit/core/frame_assembler.h"

#include <algorithm>
#include <cstring>

#include "zynvs/wire/layouts.h"

namespace zyn {

FrameAssembler::FrameAssembler(std::size_t capacity_bytes, Layout layout,
                               std::atomic<uint64_t>* dropped)
    : capacity_(capacity_bytes),
      head_(layout == Layout::kRecord ? wire::kFrameRecordHeaderBytes : 0),
      dropped_(dropped) {}

void FrameAssembler::Drop() {
    open_ = false;
    if (dropped_) dropped_->fetch_add(1, std::memory_order_relaxed);
}

FrameAssembler::Result FrameAssembler::Add(const uint8_t* fragment, std::size_t length) {
    if (fragment == nullptr || length < wire::kFragmentHeaderBytes) return Result::kIgnored;
    const wire::FragmentHeader header(fragment);
    // A length word that claims more than the message holds is cut to it.
    const std::size_t n =
        std::min<std::size_t>(header.fragment_length(), length - wire::kFragmentHeaderBytes);
    const uint8_t index = header.fragment_index();
    if (index == 0) {
        if (open_) Drop();  // the open frame lost its last fragments
        total_ = header.total_length();
        fill_ = 0;
        next_index_ = 0;
        if (head_ + total_ > capacity_) {
            open_ = true;
            Drop();
            return Result::kDropped;
        }
        if (!buffer_) buffer_.reset(new uint8_t[capacity_]);
        if (head_ > 0) {
            wire::WriteFramePrefix(buffer_.get(), false);
            std::memcpy(buffer_.get() + wire::kFramePrefixBytes, fragment,
                        wire::kFragmentHeaderBytes);
        }
        fill_ = head_;
        open_ = true;
    }
    if (!open_) return Result::kIgnored;
    if (index != next_index_ || fill_ + n > head_ + total_) {
        // Missing, repeated or out of order, or past the total: the data would
        // not be the frame the device sent.
        Drop();
        return Result::kDropped;
    }
    ++next_index_;
    if (n > 0) std::memcpy(buffer_.get() + fill_, header.fragment_data(), n);
    fill_ += n;
    if (fill_ < head_ + total_) return Result::kPending;
    open_ = false;
    return Result::kComplete;
}

}  // namespace zyn
