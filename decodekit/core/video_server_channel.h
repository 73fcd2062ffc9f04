// Per-channel state of a CVideoServer (internal to its .cpp files).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "decodekit/core/frame_assembler.h"
#include "decodekit/core/video_server.h"

struct CVideoServer::Channel : zyn::ChannelMedia {
    // Stored request: copied from the ClientInfo when the device accepted the
    // stream. Guarded by request_mutex.
    std::mutex request_mutex;
    ClientInfo stored{};

    std::atomic<int> stream_kind{0};  // 0 main, 1 sub: fragments of the other kind are dropped
    std::atomic<int> switch_flag{0};  // a change of stream kind is pending
    std::atomic<int> video_open{0}, audio_open{0}, talk_open{0};
    std::atomic<int> stall_ticks{0};  // housekeeping ticks without video data

    // Reassembly, touched only by the stream receive thread: `frame` collects
    // the frame records of the shown stream; while a change of stream kind is
    // pending, `shown` collects the bare frames of the new kind for the
    // display and `recorded` the records of the main stream for the recorder.
    zyn::FrameAssembler frame{zyn::kFrameBufferBytes, zyn::FrameAssembler::Layout::kRecord,
                              &stats.frames_dropped};
    zyn::FrameAssembler shown{zyn::kFrameBufferBytes, zyn::FrameAssembler::Layout::kBare,
                              &stats.frames_dropped};
    zyn::FrameAssembler recorded{zyn::kFrameBufferBytes, zyn::FrameAssembler::Layout::kRecord,
                                 &stats.frames_dropped};
    // Scratch for the time-stamped copies handed to the data callback. Null
    // for channels at or above the channel count.
    std::unique_ptr<uint8_t[]> scratch;
    // Set by application threads to make the receive thread start afresh.
    std::atomic<bool> reset_frame{false};

    ZYNVS_WND Window() {
        std::lock_guard<std::mutex> lock(request_mutex);
        return stored.window;
    }
    bool HasAddress() {
        std::lock_guard<std::mutex> lock(request_mutex);
        return stored.stream_address[0] != 0;
    }
    uint32_t LinkValue() override {
        std::lock_guard<std::mutex> lock(request_mutex);
        return stored.link_value;
    }
    ClientInfo Stored() {
        std::lock_guard<std::mutex> lock(request_mutex);
        return stored;
    }
};
