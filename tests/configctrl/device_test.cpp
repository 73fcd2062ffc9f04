// CDevice's own fields: text fields cut at their widths, the record file,
// the factory, and operations that must not reach a vendor.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "configctrl/device/device.h"
#include "configctrl/device/zyn_device.h"

namespace {

using configctrl::CDevice;
using configctrl::CreateDevice;

struct TextCase {
    const char* name;
    int (CDevice::*set)(const char*);
    const char* (CDevice::*get)();
    size_t input_chars;
    size_t kept_chars;
    size_t record_offset;
};

// Each field keeps at most its width minus one characters.
const TextCase kTextCases[] = {
    {"address 40", &CDevice::SetAddress, &CDevice::GetAddress, 40, 31, 12},
    {"address 31", &CDevice::SetAddress, &CDevice::GetAddress, 31, 31, 12},
    {"address 5", &CDevice::SetAddress, &CDevice::GetAddress, 5, 5, 12},
    {"host 40", &CDevice::SetHostName, &CDevice::GetHostName, 40, 31, 44},
    {"user 8", &CDevice::SetUserName, &CDevice::GetUserName, 8, 7, 80},
    {"user 7", &CDevice::SetUserName, &CDevice::GetUserName, 7, 7, 80},
    {"password 8", &CDevice::SetPassword, &CDevice::GetPassword, 8, 7, 88},
    {"password 12", &CDevice::SetPassword, &CDevice::GetPassword, 12, 7, 88},
    {"device name 70", &CDevice::SetDeviceName, &CDevice::GetDeviceName, 70, 63, 152},
};

TEST(DeviceRecord, TextFieldsAreCutAtTheirWidthsForEveryType) {
    for (int type : {1, 2, 3, 10}) {
        for (const TextCase& c : kTextCases) {
            auto d = CreateDevice(type);
            ASSERT_TRUE(d) << type;
            const std::string input(c.input_chars, 'a' + static_cast<char>(c.input_chars % 26));
            ((*d).*c.set)(input.c_str());
            EXPECT_EQ(std::string(((*d).*c.get)()), input.substr(0, c.kept_chars))
                << c.name << " type " << type;
            const auto* raw = reinterpret_cast<const uint8_t*>(&d->record());
            EXPECT_EQ(raw[c.record_offset + c.kept_chars], 0) << c.name;
        }
    }
}

TEST(DeviceRecord, FactoryMakesTheFourTypesOnly) {
    for (int type : {1, 2, 3, 10}) {
        auto d = CreateDevice(type);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->type(), type);
        EXPECT_FALSE(d->logged_in());
    }
    for (int type : {0, 4, 9, 11, -1}) EXPECT_FALSE(CreateDevice(type)) << type;
    EXPECT_EQ(CreateDevice(1)->record().login.device_kind & 0xFF, 1);
}

TEST(DeviceRecord, RecordFileRoundTrip) {
    configctrl::CZynDevice a;
    a.SetDeviceId(77);
    a.SetAddress("127.0.0.9");
    a.SetHostName("other");
    a.SetPort(9000);
    a.SetChannelCount(4);
    a.SetChannelName(2, "Gate");
    a.SetChannelName(5, "beyond the count");  // refused: channel 5 of 4
    a.SetChannelState(3, 9);
    a.SetOnline(1);
    a.SetUserValue(-5);

    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(f);
    EXPECT_EQ(a.SaveRecord(f), 4 + 2364);
    std::rewind(f);
    int32_t type = 0;
    ASSERT_EQ(std::fread(&type, 1, 4, f), 4u);
    EXPECT_EQ(type, 1);
    configctrl::CZynDevice b;
    EXPECT_EQ(b.LoadRecord(f), 2364);
    std::fclose(f);

    EXPECT_EQ(b.device_id(), 77);
    EXPECT_STREQ(b.GetAddress(), "127.0.0.9");
    EXPECT_STREQ(b.GetHostName(), "127.0.0.9") << "host name follows the address";
    EXPECT_EQ(b.GetPort(), 9000);
    EXPECT_STREQ(b.GetChannelName(2), "Gate");
    EXPECT_STREQ(b.GetChannelName(5), "");
    EXPECT_EQ(b.GetChannelState(3), 0) << "states are cleared on load";
    EXPECT_EQ(b.record().login.online, 0);
    EXPECT_EQ(b.GetUserValue(), -5);
    EXPECT_EQ(b.LoadRecord(nullptr), 0);

    std::FILE* empty = std::tmpfile();
    EXPECT_LT(b.LoadRecord(empty), 2364);  // a short file changes nothing
    std::fclose(empty);
    EXPECT_STREQ(b.GetAddress(), "127.0.0.9");
}

// Without a login nothing reaches a vendor; bad channels and null pointers
// are answered with 0.
TEST(DeviceRecord, NotLoggedInAndBadArgumentsAnswerZero) {
    for (int type : {1, 2, 3, 10}) {
        auto d = CreateDevice(type);
        const uint8_t ptz[3] = {1, 2, 3};
        EXPECT_EQ(d->RealPlay(0, 0, 0, 0), 0) << type;
        EXPECT_EQ(d->RealPlay(32, 0, 0, 0), 0) << type;
        EXPECT_EQ(d->PTZControl(0, ptz), 0) << type;
        EXPECT_EQ(d->PTZControl(0, nullptr), 0) << type;
        EXPECT_EQ(d->CapturePicture(0, nullptr), 0) << type;
        EXPECT_EQ(d->RestoreDefault(0, 6), 0) << type;
        EXPECT_EQ(d->StopRealPlay(-1), 0) << type;
        EXPECT_EQ(d->SetChannelName(40, "x"), 0) << type;
        EXPECT_EQ(d->SetChannelState(32, 1), 0) << type;
        EXPECT_EQ(d->SetStreamInfo(nullptr), 0) << type;
    }
}

TEST(DeviceRecord, ReplyEventIsAutoResetAndStartsSignalled) {
    configctrl::CZynDevice d;
    EXPECT_EQ(d.WaitReply(), 1);  // created signalled
    d.SignalReply();
    EXPECT_EQ(d.WaitReply(), 1);
    d.set_reply_value(42);
    EXPECT_EQ(d.GetReplyValue(), 42);
}

}  // namespace
