#include "decodekit/core/video_device.h"

#include <gtest/gtest.h>

#include <string>

#include "decodekit/core/video_server.h"

TEST(CVideoDevice, NewDeviceDefaults) {
    CVideoServer dev(nullptr, 4);
    EXPECT_EQ(dev.ReplyTimeoutMs(), 3000u);
    EXPECT_EQ(dev.LoggedIn(), 0);
    EXPECT_EQ(dev.Busy(), 0);
    EXPECT_EQ(dev.State(), 0);
    EXPECT_EQ(dev.GetType(), 1);
}

TEST(CVideoDevice, NameRules) {
    CVideoServer dev(nullptr, 1);
    char out[64];
    EXPECT_EQ(dev.SetDeviceName(nullptr), 0);

    std::string n63(63, 'a');
    EXPECT_EQ(dev.SetDeviceName(n63.c_str()), 1);
    dev.GetDeviceName(out);
    EXPECT_EQ(std::string(out, strnlen(out, 64)), n63);

    // 64 or more characters: the first 63 are stored; byte 64 keeps its value.
    std::string n80(80, 'b');
    EXPECT_EQ(dev.SetDeviceName(n80.c_str()), 1);
    dev.GetDeviceName(out);
    EXPECT_EQ(std::string(out, 63), std::string(63, 'b'));
    EXPECT_EQ(out[63], 0);

    EXPECT_EQ(dev.SetDeviceName("cam"), 1);
    dev.GetDeviceName(out);
    EXPECT_STREQ(out, "cam");
}

TEST(CVideoDevice, ChannelFlagsIgnoreChannelsAboveThree) {
    CVideoServer dev(nullptr, 4);
    dev.SetVideoFlag(4, 1);
    dev.SetSoundFlag(4, 1);
    dev.SetVideoFlag(-1, 1);
    EXPECT_EQ(dev.VideoFlag(4), 0);
    EXPECT_EQ(dev.SoundFlag(4), 0);
    EXPECT_EQ(dev.VideoFlag(-1), 0);
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(dev.VideoFlag(ch), 0);
    dev.SetVideoFlag(3, 1);
    dev.SetSoundFlag(2, 1);
    EXPECT_EQ(dev.VideoFlag(3), 1);
    EXPECT_EQ(dev.SoundFlag(2), 1);
    EXPECT_EQ(dev.SoundFlag(3), 0);
}
