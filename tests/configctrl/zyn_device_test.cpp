// The own-protocol device on libZynDecodeKit.so against the device emulator:
// login from the record, parameter groups by the control's numbers (12 is
// the reset), the restore rule, live view with the play record.
#include <gtest/gtest.h>

#include "configctrl/device/zyn_device.h"
#include "tests/decodekit/sdk_support/sdk_fixture.h"

namespace {

using configctrl::CZynDevice;
using sdk_test::Bytes;

class ZynDeviceTest : public sdk_test::SdkTest {
protected:
    void LogIn(CZynDevice& d, const char* password = "admin") {
        d.SetDeviceId(5);
        d.SetAddress("127.0.0.1");
        d.SetHostName("127.0.0.1");
        d.SetPort(Dev().control_port());
        d.SetSecondPort(Dev().stream_port());
        d.SetUserName("admin");
        d.SetPassword(password);
        d.SetChannelCount(2);
    }
};

TEST_F(ZynDeviceTest, ParamGroupsResetAndRestore) {
    ASSERT_TRUE(StartDevices({sdk_test::SmallDevice(1, 2)}));
    CZynDevice d;
    LogIn(d, "wrong");
    EXPECT_EQ(d.Login(), 0);
    EXPECT_FALSE(d.logged_in());
    LogIn(d);
    ASSERT_EQ(d.Login(), 1);
    ASSERT_TRUE(d.logged_in());

    // group -> the request the SDK sends for it, and the record size
    struct Group {
        int group;
        uint16_t command;
        size_t bytes;
    } groups[] = {{0, 0x0501, 88}, {8, 0x0503, 92}, {5, 0x0509, 304}, {1, 0x0513, 328}};
    for (const Group& g : groups) {
        Dev().SetParam(g.command, 1, Bytes(g.bytes, 0x21));
        Dev().SetParam(g.command, 0, Bytes(g.bytes, 0x21));
        Bytes rec(g.bytes);
        ASSERT_EQ(d.GetParam(1, g.group, rec.data()), 1) << g.group;
        if (g.command == 0x0501) std::fill_n(rec.begin() + 84, 4, 0x21);  // the device's clock
        EXPECT_EQ(rec, Bytes(g.bytes, 0x21)) << g.group;
    }
    uint64_t from = Log().NextSequence();
    Bytes any(600, 0);
    for (int group : {12, 17, 27, 30, -1}) EXPECT_EQ(d.GetParam(0, group, any.data()), 0) << group;
    EXPECT_EQ(d.SetParam(0, 20, any.data()), 0);
    EXPECT_EQ(d.GetParam(32, 0, any.data()), 0) << "channel 32";
    EXPECT_EQ(Log().NextSequence(), from) << "nothing was sent";

    Dev().SetParam(0x0501, 0, Bytes(88, 0x11));
    ASSERT_EQ(d.SetParam(0, 12, nullptr), 1);
    ASSERT_TRUE(Log().WaitForCommand(0x0517, 1000, -1, from));
    EXPECT_NE(Dev().Param(0x0501), Bytes(88, 0x11)) << "the device took the reset";

    from = Log().NextSequence();
    EXPECT_EQ(d.RestoreDefault(0, 5), 0);
    EXPECT_EQ(d.RestoreDefault(0, 6), 1);
    auto def = Log().WaitForCommand(0x0585, 1000, -1, from);
    ASSERT_TRUE(def);
    EXPECT_EQ(sdk_test::Hex(def->payload), "06 00 00 00");
    EXPECT_EQ(Dev().DefaultParamWords(), std::vector<uint32_t>{6}) << "only b = 6 reached the SDK";

    EXPECT_EQ(d.Logout(1), 1);
    EXPECT_FALSE(d.logged_in());
    EXPECT_EQ(d.GetParam(0, 0, any.data()), 0);
}

TEST_F(ZynDeviceTest, RealPlayBuildsThePlayRecord) {
    ASSERT_TRUE(StartDevices({sdk_test::SmallDevice(1, 2)}));
    CZynDevice d;
    LogIn(d);
    const uint8_t info[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    d.SetStreamInfo(info);
    ASSERT_EQ(d.Login(), 1);
    ASSERT_EQ(d.RealPlay(1, 0, 0, 1), 1);
    const auto& r = d.play_record(1);
    const auto* b = reinterpret_cast<const uint8_t*>(&r);
    EXPECT_EQ(b[0], 1);  // sub stream
    EXPECT_EQ(b[1], 1);  // channel
    EXPECT_EQ(b[2], 1);
    EXPECT_EQ(r.info.link_value, 5u);
    EXPECT_EQ(r.info.stream_port, Dev().stream_port());
    EXPECT_STREQ(r.info.stream_address, "127.0.0.1");
    EXPECT_EQ(Bytes(b + 52, b + 68), Bytes(info, info + 16));
    EXPECT_EQ(Bytes(b + 68, b + 72), Bytes(4, 0));
    EXPECT_TRUE(Dev().WaitForRunningStreams(1, 3000));
    EXPECT_TRUE(MoreFrames(5, 1, 3));
    d.SetChannelPlayFlag(1, 1);
    EXPECT_EQ(d.StopRealPlay(1), 1);
    EXPECT_EQ(d.GetChannelPlayFlag(1), 0);
    EXPECT_EQ(d.RealPlay(32, 0, 0, 0), 0);
}

}  // namespace
