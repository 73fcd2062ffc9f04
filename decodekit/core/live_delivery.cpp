#include "decodekit/core/live_delivery.h"

#include <cstring>
#include <ctime>

#include "decodekit/core/device_manage.h"
#include "decodekit/platform/avi_file.h"
#include "linkcore/linkcore.h"
#include "zynvs/wire/layouts.h"

namespace wire = zyn::wire;

namespace zyn {

std::size_t LiveScratchBytes() {
    return wire::kFrameRecordHeaderBytes + wire::kTimeStampBytes + linkcore::kMaxPayload;
}

void DeliverRealData(CDeviceManage* registry, int device_id, int channel, const uint8_t* data,
                     std::size_t length) {
    auto cb = registry ? registry->RealDataCb() : CallbackSlot<RealDataCallback>{};
    if (cb.fn)
        cb.fn(device_id, channel, const_cast<uint8_t*>(data), static_cast<int>(length), cb.user);
}

void DeliverFullFrame(CDeviceManage* registry, int device_id, int channel, const uint8_t* data,
                      std::size_t length, int kind, int frame_type) {
    auto cb = registry ? registry->FullFrameCb() : CallbackSlot<FullFrameDataCallback>{};
    if (cb.fn)
        cb.fn(device_id, channel, const_cast<uint8_t*>(data), static_cast<int>(length), kind,
              frame_type, cb.user);
}

void DeliverVideoFragment(CDeviceManage* registry, int device_id, int channel, uint8_t* out,
                          const uint8_t* payload, std::size_t length) {
    auto cb = registry ? registry->RealDataCb() : CallbackSlot<RealDataCallback>{};
    if (!cb.fn || out == nullptr || length < wire::kFragmentHeaderBytes ||
        length > linkcore::kMaxPayload)
        return;
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
        cb.fn(device_id, channel, out,
              static_cast<int>(wire::kFrameRecordHeaderBytes + wire::kTimeStampBytes + data_bytes),
              cb.user);
    } else {
        std::memcpy(out + header_at, payload, length);
        cb.fn(device_id, channel, out, static_cast<int>(header_at + length), cb.user);
    }
}

void DeliverAudioBlock(CDeviceManage* registry, int device_id, int channel, uint8_t* out,
                       const uint8_t* payload, std::size_t length, int audio_type) {
    if (out == nullptr || length > linkcore::kMaxPayload) return;
    wire::WriteFramePrefix(out, true);
    std::memcpy(out + wire::kFramePrefixBytes, payload, length);
    DeliverRealData(registry, device_id, channel, out, length + wire::kFramePrefixBytes);
    DeliverFullFrame(registry, device_id, channel, out, length + wire::kFramePrefixBytes, 1,
                     audio_type);
}

void RecordFrame(CAviFile& recorder, int mode, const uint8_t* record, std::size_t record_bytes,
                 std::size_t data_bytes, bool key) {
    if (!recorder.is_recording()) return;
    if (mode == 0)
        recorder.WriteFrame(record, record_bytes, 0, key);
    else
        recorder.WriteFrame(record + wire::kFrameRecordHeaderBytes, data_bytes, 0, key);
}

}  // namespace zyn
