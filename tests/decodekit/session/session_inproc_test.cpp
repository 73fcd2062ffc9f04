// Session behaviour that needs the internal library: the hourly clock set
// (1800 ticks) without waiting an hour.
#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/video_server.h"
#include "tests/decodekit/sdk_support/sdk_test_util.h"

namespace sdk_test {
namespace {

class SessionInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        devsim::Config c;
        c.devices = {SmallDevice(1, 1)};
        emu_ = StartEmulator(std::move(c));
        ASSERT_TRUE(emu_);
        CDeviceManage::Options o;
        o.tick_ms = 20;
        o.query_screen_saver = false;
        reg_ = std::make_unique<CDeviceManage>(std::move(o));
        reg_->SetMessageCallback(&MessageRecorder::Callback, &msgs_);
    }
    void TearDown() override {
        reg_.reset();
        emu_.reset();
    }
    std::size_t KeepAlives(uint64_t from, uint64_t to) {
        std::size_t n = 0;
        for (auto& m : emu_->log().Snapshot())
            if (m.command == 0x0103 && m.sequence >= from && m.sequence < to) ++n;
        return n;
    }

    MessageRecorder msgs_;
    std::unique_ptr<devsim::Emulator> emu_;
    std::unique_ptr<CDeviceManage> reg_;
};

TEST_F(SessionInProcess, DeviceClockIsSetWithTheLocalTimeEvery1800Ticks) {
    DeviceLoginInfo rec = LoginFor(emu_->device(0), 3);
    ASSERT_EQ(reg_->Login(&rec), 1);
    auto dev = std::dynamic_pointer_cast<CVideoServer>(reg_->Find(3));
    ASSERT_TRUE(dev);
    ASSERT_TRUE(emu_->log().WaitForCommand(0x0103, 2000));
    EXPECT_LT(dev->ClockTicks(), 1800);
    EXPECT_EQ(emu_->log().Count(0x0586), 0u);

    const uint64_t from = emu_->log().NextSequence();
    dev->SetClockTicks(1790);
    auto set = emu_->log().WaitForCommand(0x0586, 5000, -1, from);
    ASSERT_TRUE(set);
    const std::time_t now = std::time(nullptr);
    // Ten more ticks count up to 1800; the one after sends the time.
    EXPECT_GE(KeepAlives(from, set->sequence), 9u);

    ASSERT_EQ(set->payload.size(), 8u);
    const uint8_t* p = set->payload.data();
    std::tm sent{};
    sent.tm_year = Le16(p) - 1900;
    sent.tm_mon = Le16(p + 2) - 1;
    sent.tm_mday = p[4];
    sent.tm_hour = p[5];
    sent.tm_min = p[6];
    sent.tm_sec = p[7];
    sent.tm_isdst = -1;
    const std::time_t sent_time = std::mktime(&sent);  // local time
    EXPECT_LE(std::llabs(static_cast<long long>(sent_time - now)), 2) << Hex(set->payload);
    auto clock = emu_->device(0).LastClockSet();
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->year, Le16(p));
    EXPECT_EQ(clock->second, p[7]);

    // The counter starts again once the send has returned: no second clock
    // set in the next ticks.
    EXPECT_TRUE(WaitUntil([&] { return dev->ClockTicks() < 100; }, 2000)) << dev->ClockTicks();
    const uint64_t after = emu_->log().NextSequence();
    ASSERT_TRUE(WaitUntil([&] { return KeepAlives(after, UINT64_MAX) >= 20; }, 5000));
    EXPECT_EQ(emu_->log().Count(0x0586), 1u);
}

}  // namespace
}  // namespace sdk_test
