// Fixture of the tests that drive the SDK through its C interface against
// the device emulator. Callbacks go to recorders owned by the fixture; every
// test ends with ZYNVS_UnInit, so one test's devices never reach the next.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "tests/decodekit/sdk_support/sdk_test_util.h"
#include "zynvs/ZynDecodeKit.h"

namespace sdk_test {

// Session event lines of the emulator ("device 0: ...").
class EventLines {
public:
    void Add(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    }
    std::size_t Size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_.size();
    }
    // Lines at index >= from that contain `what`.
    int Count(const std::string& what, std::size_t from = 0) const {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (std::size_t i = from; i < lines_.size(); ++i)
            n += lines_[i].find(what) != std::string::npos;
        return n;
    }
    // Lines at index >= from that contain both texts.
    int CountBoth(const std::string& a, const std::string& b, std::size_t from = 0) const {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (std::size_t i = from; i < lines_.size(); ++i)
            n += lines_[i].find(a) != std::string::npos && lines_[i].find(b) != std::string::npos;
        return n;
    }
    std::string All() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string s;
        for (auto& l : lines_) s += l + "\n";
        return s;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class SdkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tick = std::getenv("ZYNVS_TICK_MS");
        tick_ms_ = tick ? std::atoi(tick) : 2000;
        ZYNVS_RegisterMessageCallBack(&MessageRecorder::Callback, &msgs_);
        ZYNVS_RegisterFullFrameDataCallBack(&MediaRecorder::FullCallback, &media_);
        ZYNVS_RegisterRealDataCallBack(&MediaRecorder::RealCallback, &media_);
    }
    void TearDown() override {
        ZYNVS_UnInit();
        ZYNVS_RegisterMessageCallBack(nullptr, nullptr);
        ZYNVS_RegisterFullFrameDataCallBack(nullptr, nullptr);
        ZYNVS_RegisterRealDataCallBack(nullptr, nullptr);
        ZYNVS_RegisterDecRealDataCallBack(nullptr, nullptr);
        emu_.reset();
    }

    // Starts the emulator with these devices; false when it did not start.
    bool StartDevices(std::vector<devsim::DeviceConfig> devices, bool keep_sent_frames = false) {
        devsim::Config c;
        c.devices = std::move(devices);
        c.keep_sent_frames = keep_sent_frames;
        c.event_log = [this](const std::string& line) { events_.Add(line); };
        emu_ = StartEmulator(std::move(c));
        return emu_ != nullptr;
    }
    devsim::Device& Dev(int index = 0) { return emu_->device(index); }
    devsim::MessageLog& Log() { return emu_->log(); }

    // Logs device `index` in under sdk_id; true on 1.
    bool Login(int index, int sdk_id, int channels = -1) {
        DeviceLoginInfo rec = LoginFor(Dev(index), sdk_id, channels);
        return ZYNVS_Login(&rec) == 1;
    }
    // Opens channel ch without a window and waits for `frames` full frames.
    bool PlayData(int sdk_id, int ch, int frames = 3, int kind = 0) {
        ClientInfo ci = DataRequest(ch, kind, 0x100u + static_cast<uint32_t>(ch));
        if (ZYNVS_RealPlay(sdk_id, &ci) != 1) return false;
        return media_.WaitFull(sdk_id, ch, media_.FullCount(sdk_id, ch) + frames, 5000);
    }
    // Waits for `n` more complete frames on the channel.
    bool MoreFrames(int sdk_id, int ch, std::size_t n, int timeout_ms = 5000) {
        return media_.WaitFull(sdk_id, ch, media_.FullCount(sdk_id, ch) + n, timeout_ms);
    }

    int tick_ms_ = 2000;
    MessageRecorder msgs_;
    MediaRecorder media_;
    EventLines events_;
    std::unique_ptr<devsim::Emulator> emu_;
};

}  // namespace sdk_test
