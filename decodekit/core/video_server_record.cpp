// CVideoServer: the hand-off of live data to the application's callbacks and
// to the local recorder.
#include <cstring>
#include <ctime>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/live_delivery.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "zynvs/wire/layouts.h"

namespace wire = zyn::wire;

void CVideoServer::DeliverRealData(int channel, const uint8_t* data, std::size_t length) {
    zyn::DeliverRealData(registry_, GetDeviceId(), channel, data, length);
}

void CVideoServer::DeliverFullFrame(int channel, const uint8_t* data, std::size_t length, int kind,
                                    int frame_type) {
    zyn::DeliverFullFrame(registry_, GetDeviceId(), channel, data, length, kind, frame_type);
}

void CVideoServer::DeliverFragment(Channel& ch, int channel, const uint8_t* payload,
                                   std::size_t length) {
    zyn::DeliverVideoFragment(registry_, GetDeviceId(), channel, ch.scratch.get(), payload, length);
}

void CVideoServer::CompleteFrame(Channel& ch, int channel) {
    uint8_t* record = ch.frame.frame();
    const std::size_t total = ch.frame.data_bytes();
    const wire::MutableFragmentHeader header(record + wire::kFramePrefixBytes);
    const int frame_type = header.frame_type();
    const bool key = frame_type == wire::kKeyFrameType;
    if (ch.Window() != 0 && !ScreenSaverFlag())
        ch.video.SendOneFrame1(record + wire::kFrameRecordHeaderBytes, static_cast<int>(total), 0);
    header.set_fragment_count(1);
    DeliverFullFrame(channel, record, ch.frame.frame_bytes(), 0, frame_type);
    {
        std::lock_guard<std::mutex> lock(ch.recorder_mutex);
        zyn::RecordFrame(ch.recorder, ch.recorder_mode, record, ch.frame.frame_bytes(), total, key);
    }
    ch.stats.frames.fetch_add(1);
    ch.stats.frame_bytes.fetch_add(total);
}

void CVideoServer::RecordSwitchedFragment(Channel& ch, int channel, const uint8_t* payload,
                                          std::size_t length) {
    std::unique_lock<std::mutex> rec_lock(ch.recorder_mutex);
    const bool recording = ch.recorder.is_recording();
    const bool complete =
        recording && ch.recorded.Add(payload, length) == zyn::FrameAssembler::Result::kComplete;
    rec_lock.unlock();
    DeliverFragment(ch, channel, payload, length);
    if (!complete) return;
    rec_lock.lock();
    const bool has_cb = registry_ && registry_->RealDataCb().fn;
    if (!has_cb || !ch.recorder.is_recording()) return;
    uint8_t* record = ch.recorded.frame();
    const std::size_t total = ch.recorded.data_bytes();
    const wire::MutableFragmentHeader header(record + wire::kFramePrefixBytes);
    const bool key = header.frame_type() == wire::kKeyFrameType;
    if (ch.recorder_mode == 0) header.set_fragment_count(1);
    zyn::RecordFrame(ch.recorder, ch.recorder_mode, record, ch.recorded.frame_bytes(), total, key);
}
