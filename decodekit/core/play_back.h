// CPlayBack: the playback service. A peer pushes a recorded stream over TCP
// (0x0301 video fragments, 0x0302 audio blocks); whole video frames are shown
// in a window from the first key frame on, at no more than 25 per second, and
// audio is played at once.
//
// Fragments are assembled on Linkcore's I/O thread; whole frames go through a
// short queue to the service's own display thread, which does the pacing, so
// no Linkcore thread ever sleeps.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "decodekit/core/listen_service.h"
#include "renderkit/play_audio.h"
#include "renderkit/play_video.h"

class CPlayBack : public CListenService {
public:
    static constexpr std::size_t kFragmentBytes = 1024;
    static constexpr std::size_t kMaxFragments = 200;
    static constexpr std::size_t kFrameBytes = kFragmentBytes * kMaxFragments;  // 204800
    static constexpr int kFrameIntervalMs = 40;                                 // 25 fps
    static constexpr std::size_t kQueueFrames = 8;

    explicit CPlayBack(CDeviceManage* registry);
    ~CPlayBack() override;

    // The first call opens the server on port and starts the outputs with the
    // window; later calls only move the picture to the new window. 1 or 0.
    int Start(uint16_t port, ZYNVS_WND window);
    // Closes the server, stops the outputs and the display thread. 1.
    int StopAll();

    // Counters for the host and the tests.
    uint64_t FramesShown();
    uint64_t FramesDropped();
    std::vector<uint8_t> ShownTypes();  // frame type of every frame shown, oldest first

    void Dispatch(int connection, uint16_t command, uint16_t word, const uint8_t* body,
                  std::size_t length) override;

private:
    struct Frame {
        std::vector<uint8_t> data;
        uint8_t type = 0;
    };

    void Fragment(const uint8_t* body, std::size_t length);
    void Audio(const uint8_t* body, std::size_t length);
    void DropFrame();
    void DisplayLoop();

    // Assembly state (Linkcore's I/O thread only: one connection's callbacks
    // never run at once, and the server is the only source).
    std::vector<uint8_t> frame_;
    std::size_t assembled_ = 0;
    bool broken_ = false;  // a fragment of this frame was refused
    bool waiting_ = true;  // no key frame yet

    std::mutex mutex_;  // guards the queue, the counters and the flags below
    std::condition_variable cv_;
    std::deque<Frame> queue_;
    bool stop_ = false;
    bool started_ = false;
    uint64_t shown_ = 0;
    uint64_t dropped_ = 0;
    std::vector<uint8_t> shown_types_;

    CPlayVideo video_;
    CPlayAudio audio_;
    std::thread display_;
};
