// Helpers of the player tests: recordings built byte by byte, a fake pacing
// clock, a notice recorder, waiting with a deadline.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "playctrl/image_draw.h"
#include "playctrl/play_clock.h"
#include "playctrl/port_table.h"
#include "tests/support/h264_test_stream.h"

namespace pc_test {

// Polls `done` every 2 ms until it is true or the deadline passes.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 10000);

// A fresh folder under the temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);
std::string ArtifactPath(const std::string& name);

struct VideoRecord {
    uint8_t frame_type = 7;  // 7 key
    uint32_t frame_number = 0;
    uint32_t sec = 1000;
    uint16_t msec = 0;
    uint8_t fragment_index = 0;
    uint8_t fragment_count = 1;
    uint8_t resolution = 0;
    bool extension = false;  // byte 5 = 3 and 8 bytes of time extension
    uint32_t extension_time = 0;
    std::vector<uint8_t> payload;
    // When set, replace the length fields (offset 12 / 22) with these.
    int64_t total_length_override = -1;
    int64_t fragment_length_override = -1;
};

// A video record with the given fields (the rest default).
VideoRecord Frame(uint32_t number, uint8_t frame_type = 7, uint32_t sec = 1000, uint16_t msec = 0,
                  std::vector<uint8_t> payload = {});

// Builds a native recording in memory.
class RecordingBuilder {
public:
    // A 512-byte header (start, end, index position, audio mode, size).
    RecordingBuilder& Header(uint32_t start = 1000, uint32_t end = 0, uint32_t index_position = 0,
                             uint8_t audio_mode = 1, uint16_t width = 320, uint16_t height = 240);
    RecordingBuilder& Video(const VideoRecord& r);
    RecordingBuilder& Audio(uint32_t frame_number, const std::vector<uint8_t>& payload,
                            uint8_t codec = 1, uint32_t sec = 1000, uint16_t msec = 0);
    RecordingBuilder& Raw(const std::vector<uint8_t>& bytes);
    // 16-byte time-index entry.
    RecordingBuilder& IndexEntry(uint64_t time, uint32_t offset);
    std::size_t size() const { return bytes_.size(); }
    std::vector<uint8_t>& bytes() { return bytes_; }
    // Patches the 32-bit value at offset.
    void Put32(std::size_t offset, uint32_t value);

private:
    std::vector<uint8_t> bytes_;
};

// A payload of n bytes that holds no "XCXB" and no H.264 start code.
std::vector<uint8_t> FillerPayload(std::size_t n, uint8_t seed = 1);

// A recording of real H.264 (the support pattern), one frame record per
// picture, 40 ms apart, with a header.
std::vector<uint8_t> H264Recording(const std::vector<zyn_test::H264Frame>& frames,
                                   uint32_t start = 1000, uint32_t end = 1010);
const std::vector<zyn_test::H264Frame>& Stream320x240();  // 50 frames, GOP 10

// A clock whose sleeps take no time: they advance now() and are recorded.
class FakeClock : public playctrl::PlayClock {
public:
    int64_t now_ms() override { return now_.load(); }
    void sleep_until(int64_t t_ms) override;
    std::vector<int64_t> sleeps() const;
    void Advance(int64_t ms) { now_ += ms; }

private:
    std::atomic<int64_t> now_{1000000};
    mutable std::mutex mutex_;
    std::vector<int64_t> sleeps_;
};

// What a port handed to its video object.
struct HandedFrame {
    uint32_t number;
    uint32_t length;
    std::vector<uint8_t> data;
    int64_t fake_now;  // FakeClock time when handed (0 without one)
    uint64_t bytes_consumed;
};

class FrameLog {
public:
    void Attach(playctrl::CImageDraw& port, std::shared_ptr<FakeClock> clock = nullptr,
                bool keep_data = false);
    std::vector<HandedFrame> frames() const;
    std::size_t count() const;
    uint32_t last_number() const;

private:
    mutable std::mutex mutex_;
    std::vector<HandedFrame> frames_;
};

// Window notices seen through the notice hook (installed while alive).
struct Notice {
    ZYNVS_WND window;
    uint32_t message;
    long wparam, lparam;
};
class NoticeRecorder {
public:
    NoticeRecorder();
    ~NoticeRecorder();
    std::vector<Notice> notices() const;
    std::size_t count() const;

private:
    static void Hook(ZYNVS_WND, uint32_t, long, long, void*);
    mutable std::mutex mutex_;
    std::vector<Notice> notices_;
};

// The port behind a number (null when not open).
std::shared_ptr<playctrl::CImageDraw> Port(int number);

// A stream packet as the SDK's real-data callback gives it.
std::vector<uint8_t> StreamPacket(bool video, uint8_t index, uint8_t count, uint32_t number,
                                  const std::vector<uint8_t>& payload, uint8_t resolution = 0,
                                  int64_t total_override = -1, uint8_t byte0 = 0);

}  // namespace pc_test
