// CVideoServer: the hand-off of live data to the application's callbacks and
// to the local recorder.
#include <cstring>
#include <ctime>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "zynvs/wire/layouts.h"

namespace wire = zyn::wire;

int CVideoServer::StartLoclRecord(int channel, const char* path, int mode) {
    if (!ValidChannel(channel) || path == nullptr) return 0;
    Channel& ch = *channels_[channel];
    std::lock_guard<std::mutex> lock(ch.recorder_mutex);
    ch.recorder_mode = (mode == 1) ? 1 : 0;
    ch.recorder.Open(path, mode, talk_format_[1].load());
    return 0;
}

int CVideoServer::StopLoclRecord(int channel) {
    if (!ValidChannel(channel)) return 0;
    Channel& ch = *channels_[channel];
    std::lock_guard<std::mutex> lock(ch.recorder_mutex);
    ch.recorder.Close();
    return 0;
}

void CVideoServer::DeliverRealData(int channel, const uint8_t* data, std::size_t length) {
    auto cb = registry_ ? registry_->RealDataCb() : zyn::CallbackSlot<RealDataCallback>{};
    if (cb.fn)
        cb.fn(GetDeviceId(), channel, const_cast<uint8_t*>(data), static_cast<int>(length),
              cb.user);
}

void CVideoServer::DeliverFullFrame(int channel, const uint8_t* data, std::size_t length, int kind,
                                    int frame_type) {
    auto cb = registry_ ? registry_->FullFrameCb() : zyn::CallbackSlot<FullFrameDataCallback>{};
    if (cb.fn)
        cb.fn(GetDeviceId(), channel, const_cast<uint8_t*>(data), static_cast<int>(length), kind,
              frame_type, cb.user);
}

// Every fragment goes to the data callback with the video prefix; the first
// fragment of a frame as a time-stamped copy (time mark 3, then 8 bytes of
// time before the data).
void CVideoServer::DeliverFragment(Channel& ch, int channel, const uint8_t* payload,
                                   std::size_t length) {
    auto cb = registry_ ? registry_->RealDataCb() : zyn::CallbackSlot<RealDataCallback>{};
    if (!cb.fn) return;
    uint8_t* out = ch.scratch.get();
    wire::WriteFramePrefix(out, false);
    const std::size_t header_at = wire::kFramePrefixBytes;
    if (wire::FragmentHeader(payload).fragment_index() == 0) {
        std::memcpy(out + header_at, payload, wire::kFragmentHeaderBytes);
        wire::MutableFragmentHeader(out + header_at).set_time_mark(wire::kTimeStampedMark);
        uint8_t* stamp = out + wire::kFrameRecordHeaderBytes;
        wire::StoreLe32(stamp, static_cast<uint32_t>(std::time(nullptr)));
        wire::StoreLe32(stamp + 4, 0);
        const std::size_t data_bytes = length - wire::kFragmentHeaderBytes;
        std::memcpy(stamp + wire::kTimeStampBytes, payload + wire::kFragmentHeaderBytes,
                    data_bytes);
        cb.fn(GetDeviceId(), channel, out,
              static_cast<int>(wire::kFrameRecordHeaderBytes + wire::kTimeStampBytes + data_bytes),
              cb.user);
    } else {
        std::memcpy(out + header_at, payload, length);
        cb.fn(GetDeviceId(), channel, out, static_cast<int>(header_at + length), cb.user);
    }
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
        if (ch.recorder.is_recording()) {
            if (ch.recorder_mode == 0)
                ch.recorder.WriteFrame(record, ch.frame.frame_bytes(), 0, key);
            else
                ch.recorder.WriteFrame(record + wire::kFrameRecordHeaderBytes, total, 0, key);
        }
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
    if (ch.recorder_mode == 0) {
        header.set_fragment_count(1);
        ch.recorder.WriteFrame(record, ch.recorded.frame_bytes(), 0, key);
    } else {
        ch.recorder.WriteFrame(record + wire::kFrameRecordHeaderBytes, total, 0, key);
    }
}
