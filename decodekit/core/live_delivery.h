// The hand-off of live data that every device class with streams shares: the
// application's data and full-frame callbacks and the local recorder. Runs on
// the receive thread of the connection the data came on.
#pragma once

#include <cstddef>
#include <cstdint>

class CDeviceManage;
class CAviFile;

namespace zyn {

// Bytes a scratch buffer of DeliverVideoFragment / DeliverAudioBlock needs.
std::size_t LiveScratchBytes();

void DeliverRealData(CDeviceManage* registry, int device_id, int channel, const uint8_t* data,
                     std::size_t length);
void DeliverFullFrame(CDeviceManage* registry, int device_id, int channel, const uint8_t* data,
                      std::size_t length, int kind, int frame_type);

// One video fragment (24-byte header and data) to the data callback with the
// video prefix; the first fragment of a frame as a time-stamped copy (time
// mark 3, then 8 bytes of time before the data).
void DeliverVideoFragment(CDeviceManage* registry, int device_id, int channel, uint8_t* scratch,
                          const uint8_t* payload, std::size_t length);
// One audio block to the data and full-frame callbacks with the audio prefix.
void DeliverAudioBlock(CDeviceManage* registry, int device_id, int channel, uint8_t* scratch,
                       const uint8_t* payload, std::size_t length, int audio_type);

// Writes a completed frame record (prefix, header, data) to a recorder that
// is recording: mode 0 keeps the record, mode 1 the bare data. The caller
// holds the recorder's lock.
void RecordFrame(CAviFile& recorder, int mode, const uint8_t* record, std::size_t record_bytes,
                 std::size_t data_bytes, bool key);

}  // namespace zyn
