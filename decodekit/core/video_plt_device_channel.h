// Per-channel state of a CVideoPltDevice (internal to its .cpp files).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "decodekit/core/frame_assembler.h"
#include "decodekit/core/video_plt_device.h"

struct CVideoPltDevice::Channel : zyn::ChannelMedia {
    std::mutex record_mutex;  // guards record
    zyn::PlatformChannelRecord record{};

    std::shared_ptr<CClient> stream;  // guarded by the device's conn_mutex_
    int stream_transport = -1;        // of `stream`; guarded by conn_mutex_

    std::atomic<int> stall_ticks{0};  // housekeeping ticks since the last video or audio
    std::atomic<int> audio_started{0};


    // Assembly: fed by the channel's stream connection and by the control
    // connection, each on its own receive thread. The lock is held while the
    // data and full-frame callbacks run; only receive threads take it.
    std::mutex assembly_mutex;             // guards the assemblers and scratch
    std::atomic<bool> reset_frame{false};  // set by application threads: start afresh
    zyn::FrameAssembler frame{zyn::kFrameBufferBytes, zyn::FrameAssembler::Layout::kRecord,
                              &stats.frames_dropped};
    zyn::FrameAssembler bare{zyn::kFrameBufferBytes, zyn::FrameAssembler::Layout::kBare,
                             &stats.frames_dropped};
    std::unique_ptr<uint8_t[]> scratch;  // null for channels at or above the channel count

    zyn::PlatformChannelRecord Record() {
        std::lock_guard<std::mutex> lock(record_mutex);
        return record;
    }
    ZYNVS_WND Window() {
        std::lock_guard<std::mutex> lock(record_mutex);
        return record.info.window;
    }
    uint32_t LinkValue() override {
        std::lock_guard<std::mutex> lock(record_mutex);
        return record.info.link_value;
    }
};
