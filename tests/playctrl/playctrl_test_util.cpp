#include "tests/playctrl/playctrl_test_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "playctrl/window_notify.h"

namespace pc_test {

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zynplay-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

std::string ArtifactPath(const std::string& name) {
    std::filesystem::create_directories(ZYNVS_ARTIFACT_DIR);
    return std::string(ZYNVS_ARTIFACT_DIR) + "/" + name;
}

namespace {
void Put16(std::vector<uint8_t>& b, std::size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32At(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

VideoRecord Frame(uint32_t number, uint8_t frame_type, uint32_t sec, uint16_t msec,
                  std::vector<uint8_t> payload) {
    VideoRecord r;
    r.frame_number = number;
    r.frame_type = frame_type;
    r.sec = sec;
    r.msec = msec;
    r.payload = std::move(payload);
    return r;
}

RecordingBuilder& RecordingBuilder::Header(uint32_t start, uint32_t end, uint32_t index_position,
                                           uint8_t audio_mode, uint16_t width, uint16_t height) {
    std::vector<uint8_t> h(512, 0);
    std::memcpy(h.data(), "ZYNIPCFH", 8);
    h[11] = audio_mode;
    Put16(h, 12, width);
    Put16(h, 14, height);
    Put32At(h, 160, start);
    Put32At(h, 164, end);
    Put32At(h, 168, index_position);
    bytes_.insert(bytes_.end(), h.begin(), h.end());
    return *this;
}

RecordingBuilder& RecordingBuilder::Video(const VideoRecord& r) {
    std::vector<uint8_t> rec(30, 0);
    std::memcpy(rec.data(), "XCXBV", 5);
    const std::size_t o = 6;
    rec[o + 2] = r.resolution;
    rec[o + 4] = r.frame_type;
    rec[o + 5] = r.extension ? 3 : 0;
    rec[o + 6] = r.fragment_index;
    rec[o + 7] = r.fragment_count;
    Put32At(rec, o + 8, r.frame_number);
    Put32At(rec, o + 12,
            r.total_length_override >= 0 ? static_cast<uint32_t>(r.total_length_override)
                                         : static_cast<uint32_t>(r.payload.size()));
    Put32At(rec, o + 16, r.sec);
    Put16(rec, o + 20, r.msec);
    Put16(rec, o + 22,
          r.fragment_length_override >= 0 ? static_cast<uint16_t>(r.fragment_length_override)
                                          : static_cast<uint16_t>(r.payload.size()));
    if (r.extension) {
        std::vector<uint8_t> ext(8, 0);
        Put32At(ext, 0, r.extension_time);
        ext[4] = 0xEE;
        rec.insert(rec.end(), ext.begin(), ext.end());
    }
    rec.insert(rec.end(), r.payload.begin(), r.payload.end());
    bytes_.insert(bytes_.end(), rec.begin(), rec.end());
    return *this;
}

RecordingBuilder& RecordingBuilder::Audio(uint32_t frame_number,
                                          const std::vector<uint8_t>& payload, uint8_t codec,
                                          uint32_t sec, uint16_t msec) {
    std::vector<uint8_t> rec(30, 0);
    std::memcpy(rec.data(), "XCXBA", 5);
    rec[6] = codec;
    rec[6 + 7] = 1;
    Put32At(rec, 6 + 8, frame_number);
    Put32At(rec, 6 + 12, static_cast<uint32_t>(payload.size()));
    Put32At(rec, 6 + 16, sec);
    Put16(rec, 6 + 20, msec);
    Put16(rec, 6 + 22, static_cast<uint16_t>(payload.size()));
    rec.insert(rec.end(), payload.begin(), payload.end());
    bytes_.insert(bytes_.end(), rec.begin(), rec.end());
    return *this;
}

RecordingBuilder& RecordingBuilder::Raw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

RecordingBuilder& RecordingBuilder::IndexEntry(uint64_t time, uint32_t offset) {
    std::vector<uint8_t> e(16, 0);
    Put32At(e, 0, static_cast<uint32_t>(time));
    Put32At(e, 4, static_cast<uint32_t>(time >> 32));
    Put32At(e, 8, offset);
    bytes_.insert(bytes_.end(), e.begin(), e.end());
    return *this;
}

void RecordingBuilder::Put32(std::size_t offset, uint32_t value) {
    Put32At(bytes_, offset, value);
}

std::vector<uint8_t> FillerPayload(std::size_t n, uint8_t seed) {
    std::vector<uint8_t> p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(0x10 + (seed + i) % 0x40);
    return p;
}

std::vector<uint8_t> H264Recording(const std::vector<zyn_test::H264Frame>& frames, uint32_t start,
                                   uint32_t end) {
    RecordingBuilder b;
    b.Header(start, end, 0, 1, 320, 240);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        VideoRecord r;
        r.frame_type = frames[i].key ? 7 : 8;
        r.frame_number = static_cast<uint32_t>(i);
        const uint32_t ms = static_cast<uint32_t>(i) * 40;
        r.sec = start + ms / 1000;
        r.msec = static_cast<uint16_t>(ms % 1000);
        r.payload = frames[i].data;
        b.Video(r);
    }
    return std::move(b.bytes());
}

const std::vector<zyn_test::H264Frame>& Stream320x240() {
    static const std::vector<zyn_test::H264Frame> frames = [] {
        zyn_test::H264StreamOptions o;
        o.width = 320;
        o.height = 240;
        o.frames = 50;
        o.gop = 10;
        return zyn_test::MakeH264Stream(o);
    }();
    return frames;
}

void FakeClock::sleep_until(int64_t t_ms) {
    std::lock_guard lock(mutex_);
    const int64_t now = now_.load();
    sleeps_.push_back(t_ms - now);
    if (t_ms > now) now_ = t_ms;
}

std::vector<int64_t> FakeClock::sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

void FrameLog::Attach(playctrl::CImageDraw& port, std::shared_ptr<FakeClock> clock,
                      bool keep_data) {
    playctrl::CImageDraw* p = &port;
    port.set_frame_observer(
        [this, clock, keep_data, p](const uint8_t* data, uint32_t length, uint32_t number) {
            HandedFrame f{number, length, {}, clock ? clock->now_ms() : 0, p->bytes_consumed()};
            if (keep_data) f.data.assign(data, data + length);
            std::lock_guard lock(mutex_);
            frames_.push_back(std::move(f));
        });
}

std::vector<HandedFrame> FrameLog::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::size_t FrameLog::count() const {
    std::lock_guard lock(mutex_);
    return frames_.size();
}

uint32_t FrameLog::last_number() const {
    std::lock_guard lock(mutex_);
    return frames_.empty() ? 0xFFFFFFFFu : frames_.back().number;
}

NoticeRecorder::NoticeRecorder() {
    playctrl::SetWindowNoticeHook(&NoticeRecorder::Hook, this);
}
NoticeRecorder::~NoticeRecorder() {
    playctrl::SetWindowNoticeHook(nullptr, nullptr);
}

void NoticeRecorder::Hook(ZYNVS_WND w, uint32_t m, long wp, long lp, void* user) {
    auto* self = static_cast<NoticeRecorder*>(user);
    std::lock_guard lock(self->mutex_);
    self->notices_.push_back({w, m, wp, lp});
}

std::vector<Notice> NoticeRecorder::notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
}

std::size_t NoticeRecorder::count() const {
    std::lock_guard lock(mutex_);
    return notices_.size();
}

std::shared_ptr<playctrl::CImageDraw> Port(int number) {
    return playctrl::PortTable::Instance().Find(number);
}

std::vector<uint8_t> StreamPacket(bool video, uint8_t index, uint8_t count, uint32_t number,
                                  const std::vector<uint8_t>& payload, uint8_t resolution,
                                  int64_t total_override, uint8_t byte0) {
    std::vector<uint8_t> p(30, 0);
    std::memcpy(p.data(), video ? "XCXBV" : "XCXBA", 5);
    p[6] = byte0;
    p[6 + 2] = resolution;
    p[6 + 4] = 7;
    p[6 + 6] = index;
    p[6 + 7] = count;
    Put32At(p, 6 + 8, number);
    Put32At(p, 6 + 12,
            total_override >= 0 ? static_cast<uint32_t>(total_override)
                                : static_cast<uint32_t>(payload.size()));
    Put16(p, 6 + 22, static_cast<uint16_t>(payload.size()));
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

}  // namespace pc_test
