// Receive buffer of one connection. It starts small, so thousands of quiet
// connections cost little, and grows (up to 64 KiB) while reads fill it, so a
// busy stream is read in large chunks. It is allocated once per size step and
// reused for every read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <asio/buffer.hpp>

namespace linkcore::detail {

class ReadBuffer {
public:
    static constexpr std::size_t kInitialBytes = 4096;
    static constexpr std::size_t kMaxBytes = 64 * 1024;

    explicit ReadBuffer(std::size_t initial = kInitialBytes, std::size_t max = kMaxBytes)
        : size_(initial), max_(max) {}

    asio::mutable_buffer writable() {
        if (!data_) data_ = std::make_unique_for_overwrite<uint8_t[]>(size_);
        return asio::buffer(data_.get(), size_);
    }
    const uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

    // After a read of n bytes has been processed: a full read means more is
    // waiting, so the next read gets a larger buffer.
    void Consumed(std::size_t n) {
        if (n == size_ && size_ < max_) {
            size_ = size_ * 4 < max_ ? size_ * 4 : max_;
            data_.reset();
        }
    }

private:
    std::unique_ptr<uint8_t[]> data_;
    std::size_t size_;
    const std::size_t max_;
};

}  // namespace linkcore::detail
