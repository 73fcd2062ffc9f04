#include "decodekit/core/play_back.h"

#include <chrono>
#include <cstring>

#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace wire = zyn::wire;

CPlayBack::CPlayBack(CDeviceManage* registry) : CListenService(registry, 0), frame_(kFrameBytes) {}

CPlayBack::~CPlayBack() {
    StopAll();
}

int CPlayBack::Start(uint16_t port, ZYNVS_WND window) {
    bool first;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        first = !started_;
        started_ = true;
    }
    if (!first) {
        video_.ChangeDisplayWnd(window, 1);
        return 1;
    }
    video_.SetWnd(window, 1);
    video_.StartVideo(1280, 760, 0);
    audio_.StartAudio(window, 0);
    display_ = std::thread([this] { DisplayLoop(); });
    return CListenService::Start(port, 1) != 0 ? 1 : 0;
}

int CPlayBack::StopAll() {
    Stop();  // no callback runs after this
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    if (display_.joinable()) display_.join();
    video_.StopVideo();
    audio_.StopAudio();
    return 1;
}

void CPlayBack::Dispatch(int /*connection*/, uint16_t command, uint16_t /*word*/,
                         const uint8_t* body, std::size_t length) {
    if (command == ZYN_CMD_VIDEO_FRAGMENT) Fragment(body, length);
    if (command == ZYN_CMD_AUDIO_BLOCK) Audio(body, length);
}

void CPlayBack::DropFrame() {
    broken_ = true;
    assembled_ = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    ++dropped_;
}

void CPlayBack::Fragment(const uint8_t* body, std::size_t length) {
    if (length < wire::kFragmentHeaderBytes) return;
    wire::FragmentHeader header(body);
    const std::size_t index = header.fragment_index();
    const std::size_t total = header.total_length();
    const std::size_t data_length = header.fragment_length();
    if (index == 0) {
        assembled_ = 0;
        broken_ = false;
    }
    if (broken_) return;  // the rest of a refused frame
    // Every bound is checked before a byte is copied.
    if (index >= kMaxFragments || total > kFrameBytes || total == 0 ||
        data_length > length - wire::kFragmentHeaderBytes ||
        index * kFragmentBytes + data_length > kFrameBytes || assembled_ + data_length > total)
        return DropFrame();
    std::memcpy(frame_.data() + index * kFragmentBytes, body + wire::kFragmentHeaderBytes,
                data_length);
    assembled_ += data_length;
    if (assembled_ != total) return;
    assembled_ = 0;
    broken_ = true;  // complete: further fragments wait for the next index 0
    const uint8_t type = header.frame_type();
    if (waiting_ && type != wire::kPushedKeyFrameType) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++dropped_;
        return;
    }
    waiting_ = false;
    Frame frame{std::vector<uint8_t>(frame_.begin(), frame_.begin() + total), type};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kQueueFrames) {
            // The display is behind: the frames after a gap cannot be decoded,
            // so wait for the next key frame.
            dropped_ += 1;
            waiting_ = true;
            return;
        }
        queue_.push_back(std::move(frame));
    }
    cv_.notify_one();
}

void CPlayBack::Audio(const uint8_t* body, std::size_t length) {
    if (length <= wire::kFragmentHeaderBytes) return;
    const std::size_t data_length = wire::AudioHeader(body).fragment_length();
    if (data_length == 0 || data_length > length - wire::kFragmentHeaderBytes) return;
    audio_.SendOneFrame(body + wire::kFragmentHeaderBytes, static_cast<int>(data_length), 0);
}

void CPlayBack::DisplayLoop() {
    using Clock = std::chrono::steady_clock;
    for (;;) {
        Frame frame;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            frame = std::move(queue_.front());
            queue_.pop_front();
        }
        const auto began = Clock::now();
        video_.SendOneFrame(frame.data.data(), static_cast<int>(frame.data.size()));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++shown_;
            shown_types_.push_back(frame.type);
        }
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_until(lock, began + std::chrono::milliseconds(kFrameIntervalMs),
                       [this] { return stop_; });
        if (stop_) return;
    }
}

uint64_t CPlayBack::FramesShown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}
uint64_t CPlayBack::FramesDropped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}
std::vector<uint8_t> CPlayBack::ShownTypes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_types_;
}
