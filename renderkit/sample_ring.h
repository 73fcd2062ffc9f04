// Fixed-size ring of 16-bit samples. Not locked: the owner guards it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace renderkit {

class SampleRing {
public:
    explicit SampleRing(size_t capacity) : data_(capacity) {}

    size_t size() const { return count_; }
    size_t capacity() const { return data_.size(); }
    void clear() { head_ = count_ = 0; }

    // Appends; when full, the oldest samples make room. Returns how many old
    // samples were dropped.
    size_t Push(const int16_t* samples, size_t n) {
        size_t dropped = 0;
        if (n > data_.size()) {
            dropped += n - data_.size();
            samples += n - data_.size();
            n = data_.size();
        }
        if (count_ + n > data_.size()) {
            const size_t excess = count_ + n - data_.size();
            head_ = (head_ + excess) % data_.size();
            count_ -= excess;
            dropped += excess;
        }
        size_t tail = (head_ + count_) % data_.size();
        for (size_t done = 0; done < n;) {
            const size_t run = std::min(n - done, data_.size() - tail);
            std::copy_n(samples + done, run, data_.begin() + static_cast<ptrdiff_t>(tail));
            done += run;
            tail = (tail + run) % data_.size();
        }
        count_ += n;
        return dropped;
    }

    // Takes up to n samples; returns how many.
    size_t Pop(int16_t* out, size_t n) {
        n = std::min(n, count_);
        for (size_t done = 0; done < n;) {
            const size_t run = std::min(n - done, data_.size() - head_);
            std::copy_n(data_.begin() + static_cast<ptrdiff_t>(head_), run, out + done);
            done += run;
            head_ = (head_ + run) % data_.size();
        }
        count_ -= n;
        return n;
    }

private:
    std::vector<int16_t> data_;
    size_t head_ = 0;
    size_t count_ = 0;
};

}  // namespace renderkit
