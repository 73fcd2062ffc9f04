// Key-frame detection and the queue's drop policy.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "renderkit/frame_queue.h"
#include "renderkit/h264_bitstream.h"

namespace {

std::vector<uint8_t> Nals(std::initializer_list<int> types, size_t payload = 8) {
    std::vector<uint8_t> out;
    for (int t : types) {
        out.insert(out.end(), {0, 0, 0, 1, static_cast<uint8_t>(0x60 | t)});
        out.insert(out.end(), payload, 0xAB);
    }
    return out;
}

TEST(H264Bitstream, KeyFrameDetection) {
    auto key = [](const std::vector<uint8_t>& v) { return renderkit::IsH264KeyFrame(v.data(), v.size()); };
    EXPECT_TRUE(key(Nals({9, 7, 8, 5})));   // AUD SPS PPS IDR
    EXPECT_TRUE(key(Nals({7, 8, 1})));      // SPS first: a new sequence
    EXPECT_TRUE(key(Nals({6, 5})));         // SEI then IDR
    EXPECT_FALSE(key(Nals({9, 1})));        // AUD then P slice
    EXPECT_FALSE(key(Nals({1, 5})));        // a non-IDR slice comes first
    EXPECT_FALSE(key(Nals({6, 8})));        // no slice at all
    EXPECT_FALSE(key({}));
    EXPECT_FALSE(renderkit::IsH264KeyFrame(nullptr, 10));
    // Three-byte start codes and garbage before the first start code.
    std::vector<uint8_t> three = {0x12, 0x34, 0, 0, 1, 0x65, 0x88};
    EXPECT_TRUE(key(three));
    std::vector<uint8_t> cut = {0, 0, 1};  // start code with no NAL byte
    EXPECT_FALSE(key(cut));
    std::vector<uint8_t> no_start(1000, 0x05);
    EXPECT_FALSE(key(no_start));
}

TEST(H264Bitstream, NextNalStartFindsEveryStartCode) {
    const auto v = Nals({7, 8, 5}, 3);
    size_t pos = renderkit::NextNalStart(v.data(), v.size(), 0);
    std::vector<int> types;
    while (pos < v.size()) {
        types.push_back(v[pos] & 0x1F);
        pos = renderkit::NextNalStart(v.data(), v.size(), pos + 1);
    }
    EXPECT_EQ(types, (std::vector<int>{7, 8, 5}));
}

class FrameQueueTest : public ::testing::Test {
protected:
    std::vector<uint8_t> key_ = Nals({7, 8, 5});
    std::vector<uint8_t> delta_ = Nals({1});
    renderkit::FrameQueue queue_{3, 1 << 20, 4096};
    using R = renderkit::FrameQueue::PushResult;

    std::vector<uint32_t> Drain() {
        std::vector<uint32_t> numbers;
        renderkit::QueuedFrame f;
        while (queue_.Pop(&f, 0)) {
            numbers.push_back(f.number);
            queue_.Recycle(std::move(f));
        }
        return numbers;
    }
};

TEST_F(FrameQueueTest, FullQueueDropsUntilNextKeyFrame) {
    EXPECT_EQ(queue_.Push(key_.data(), key_.size(), 0), R::kQueued);
    EXPECT_EQ(queue_.Push(delta_.data(), delta_.size(), 1), R::kQueued);
    EXPECT_EQ(queue_.Push(delta_.data(), delta_.size(), 2), R::kQueued);
    EXPECT_EQ(queue_.Push(delta_.data(), delta_.size(), 3), R::kDropped);  // full
    EXPECT_EQ(Drain(), (std::vector<uint32_t>{0, 1, 2}));
    // Room again, but 4 and 5 belong to the group whose frame 3 was lost.
    EXPECT_EQ(queue_.Push(delta_.data(), delta_.size(), 4), R::kDropped);
    EXPECT_EQ(queue_.Push(delta_.data(), delta_.size(), 5), R::kDropped);
    EXPECT_EQ(queue_.Push(key_.data(), key_.size(), 6), R::kQueued);
    EXPECT_EQ(queue_.Push(delta_.data(), delta_.size(), 7), R::kQueued);
    EXPECT_EQ(queue_.dropped(), 3u);
    EXPECT_EQ(Drain(), (std::vector<uint32_t>{6, 7}));
}

TEST_F(FrameQueueTest, KeyFrameArrivingWhileFullIsDroppedToo) {
    for (uint32_t n = 0; n < 3; ++n) queue_.Push(key_.data(), key_.size(), n);
    EXPECT_EQ(queue_.Push(key_.data(), key_.size(), 3), R::kDropped);
    Drain();
    EXPECT_EQ(queue_.Push(delta_.data(), delta_.size(), 4), R::kDropped);
    EXPECT_EQ(queue_.Push(key_.data(), key_.size(), 5), R::kQueued);
}

TEST_F(FrameQueueTest, ByteLimitAndOversizedFrames) {
    renderkit::FrameQueue q(100, 100, 60);
    std::vector<uint8_t> big = Nals({5}, 50);  // 55 bytes
    std::vector<uint8_t> huge = Nals({5}, 100);
    EXPECT_EQ(q.Push(big.data(), big.size(), 0), R::kQueued);
    EXPECT_EQ(q.Push(big.data(), big.size(), 1), R::kDropped);  // 110 > 100 bytes
    EXPECT_EQ(q.Push(huge.data(), huge.size(), 2), R::kDropped);
    EXPECT_EQ(q.oversized(), 1u);
    EXPECT_EQ(q.dropped(), 2u);
}

TEST_F(FrameQueueTest, ClosedQueueAndBadArguments) {
    EXPECT_EQ(queue_.Push(nullptr, 10, 0), R::kClosed);
    EXPECT_EQ(queue_.Push(key_.data(), 0, 0), R::kClosed);
    queue_.Close();
    EXPECT_EQ(queue_.Push(key_.data(), key_.size(), 0), R::kClosed);
    renderkit::QueuedFrame f;
    EXPECT_FALSE(queue_.Pop(&f, 10));
    queue_.Reopen();
    EXPECT_EQ(queue_.Push(key_.data(), key_.size(), 0), R::kQueued);
    EXPECT_EQ(queue_.dropped(), 0u);
}

TEST_F(FrameQueueTest, FramesArePaddedAndBuffersReused) {
    queue_.Push(key_.data(), key_.size(), 9);
    renderkit::QueuedFrame f;
    ASSERT_TRUE(queue_.Pop(&f, 0));
    ASSERT_EQ(f.length, key_.size());
    ASSERT_EQ(f.data.size(), key_.size() + renderkit::FrameQueue::kPaddingBytes);
    EXPECT_TRUE(f.key);
    for (size_t i = f.length; i < f.data.size(); ++i) ASSERT_EQ(f.data[i], 0);
    const uint8_t* buffer = f.data.data();
    queue_.Recycle(std::move(f));
    queue_.Push(key_.data(), key_.size(), 10);
    ASSERT_TRUE(queue_.Pop(&f, 0));
    EXPECT_EQ(f.data.data(), buffer);  // the recycled buffer came back
    queue_.Recycle(std::move(f));
}

TEST_F(FrameQueueTest, WaitIdleCoversTheFrameBeingProcessed) {
    queue_.Push(key_.data(), key_.size(), 0);
    renderkit::QueuedFrame f;
    ASSERT_TRUE(queue_.Pop(&f, 0));
    EXPECT_FALSE(queue_.WaitIdle(20));  // popped but not recycled yet
    std::thread consumer([&] { queue_.Recycle(std::move(f)); });
    EXPECT_TRUE(queue_.WaitIdle(5000));
    consumer.join();
}

TEST_F(FrameQueueTest, WakeReleasesAWaitingPop) {
    std::thread waker([&] { queue_.Wake(); });
    renderkit::QueuedFrame f;
    EXPECT_FALSE(queue_.Pop(&f, 10000));  // returns at the wake, not after 10 s
    waker.join();
}

}  // namespace
