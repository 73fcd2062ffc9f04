// The ANTS, LangChi and QV devices against the emulated vendor libraries
// (loaded by name, as the control loads them) and the emulator's QV devices.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "configctrl/device/ants_device.h"
#include "configctrl/device/device_counts.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "tools/devsim/qv_device.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"

namespace {

using namespace configctrl;
using Clock = std::chrono::steady_clock;

// Drives one emulated library: the handle the devices use.
class Emulation {
public:
    explicit Emulation(const char* name) : lib_(vendors::VendorLibrary::Open(name)) {}
    bool loaded() const { return lib_ != nullptr; }
    void Reset(const char* lines) { Call<ZynVendorEmu_Reset_t>("ZynVendorEmu_Reset", lines); }
    void Fail(const char* names) { Call<ZynVendorEmu_Fail_t>("ZynVendorEmu_Fail", names); }
    int Event(int kind, int value) {
        return Call<ZynVendorEmu_Event_t>("ZynVendorEmu_Event", kind, value);
    }
    std::vector<std::string> Calls() const {
        ZynVendorEmu_Calls_t fn = nullptr;
        if (!lib_->Get("ZynVendorEmu_Calls", &fn)) return {};
        std::string all(static_cast<size_t>(fn(nullptr, 0)), '\0');
        fn(all.data(), static_cast<int>(all.size()));
        std::vector<std::string> lines;
        for (size_t at = 0, nl; (nl = all.find('\n', at)) != std::string::npos; at = nl + 1)
            lines.push_back(all.substr(at, nl - at));
        return lines;
    }
    // Index of the first logged call that starts with `prefix`, from `from`; -1 if none.
    int Find(const std::string& prefix, int from = 0) const {
        auto calls = Calls();
        for (size_t i = static_cast<size_t>(from); i < calls.size(); ++i)
            if (calls[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
        return -1;
    }

private:
    template <typename Fn, typename... Args>
    int Call(const char* name, Args... args) {
        Fn fn = nullptr;
        return lib_->Get(name, &fn) ? fn(args...) : -1;
    }
    std::shared_ptr<vendors::VendorLibrary> lib_;
};

template <typename Pred>
bool WaitUntil(Pred pred, int timeout_ms = 3000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Events the device hands to its host.
struct Events {
    std::mutex mu;
    std::vector<std::pair<int, std::string>> got;  // event, data (as bytes)
    static void Callback(int, int event, const void* data, int length, void* user) {
        auto* e = static_cast<Events*>(user);
        std::lock_guard<std::mutex> lock(e->mu);
        e->got.emplace_back(event, data ? std::string(static_cast<const char*>(data), length) : "");
    }
    size_t size() {
        std::lock_guard<std::mutex> lock(mu);
        return got.size();
    }
};

const char* kAnts =
    "ants ip=127.0.0.71 data_port=8000 name=NVR serial=SN71 channels=4 alarm_in=6 alarm_out=3 "
    "user=admin password=12345\n";
const char* kLangChi =
    "camsearch ip=127.0.0.41 data_port=5000 name=LC channels=2 alarm_in=4 alarm_out=1 "
    "user=570431 password=570431\n";

template <typename D>
std::unique_ptr<D> Connected(const char* address, int port, const char* user,
                             const char* password) {
    auto d = std::make_unique<D>();
    d->SetDeviceName("dev");
    d->SetAddress(address);
    d->SetHostName(address);
    d->SetPort(port);
    d->SetUserName(user);
    d->SetPassword(password);
    return d;
}

// The count queries of each vendor, and a failing vendor call leaving 0.
TEST(VendorDevice, CountQueriesAndFailures) {
    Emulation ants("AntsNetSDK"), lc("NetClient");
    ASSERT_TRUE(ants.loaded() && lc.loaded());
    struct Case {
        int type;
        const char* fail;
        DeviceCounts want;
    } cases[] = {
        {kDeviceTypeAnts, "", {4, 6, 3}},
        {kDeviceTypeAnts, "ANTS_NET_DVR_GetDVRConfig", {0, 0, 0}},
        {kDeviceTypeLangChi, "", {2, 4, 1}},
        {kDeviceTypeLangChi, "NetClient_Ord126", {0, 0, 0}},
    };
    for (const Case& c : cases) {
        ants.Reset(kAnts);
        lc.Reset(kLangChi);
        std::unique_ptr<CDevice> d;
        if (c.type == kDeviceTypeAnts) {
            d = Connected<CANTSDevice>("127.0.0.71", 8000, "admin", "12345");
            ants.Fail(c.fail);
        } else {
            d = Connected<CLangChiDevice>("127.0.0.41", 5000, "570431", "570431");
            lc.Fail(c.fail);
        }
        ASSERT_EQ(d->Login(), 1) << c.type << c.fail;
        const DeviceCounts got = QueryDeviceCounts(*d);
        EXPECT_EQ(got.channels, c.want.channels) << c.type << c.fail;
        EXPECT_EQ(got.alarm_inputs, c.want.alarm_inputs) << c.type << c.fail;
        EXPECT_EQ(got.alarm_outputs, c.want.alarm_outputs) << c.type << c.fail;
        EXPECT_NE(d->Logout(0), 0);
        EXPECT_FALSE(d->logged_in());
    }
    // The LangChi login sequence and logout, in order.
    auto calls = lc.Calls();
    const int login = lc.Find("NetClient_Ord1(6024)");
    ASSERT_GE(login, 0);
    EXPECT_EQ(calls[login + 1], "NetClient_Ord124(dev,dev,127.0.0.41,570431,570431,5000)");
    EXPECT_EQ(calls[login + 2], "NetClient_Ord3(4,1)");
    const int out = lc.Find("NetClient_Ord125(");
    ASSERT_GE(out, 0);
    EXPECT_EQ(calls[out + 1], "NetClient_Ord233(0)");
    EXPECT_EQ(calls[out + 2], "NetClient_Ord187()");
    EXPECT_EQ(calls[out + 3], "NetClient_Ord4()");
    // A refused login leaves the device logged out.
    ants.Reset(kAnts);
    auto wrong = Connected<CANTSDevice>("127.0.0.71", 8000, "admin", "nope");
    EXPECT_EQ(wrong->Login(), 0);
    EXPECT_EQ(QueryDeviceCounts(*wrong).channels, 0);
}

TEST(VendorDevice, AntsRealPlayTwiceStopsTheOldPlayAndPicturesFlow) {
    Emulation ants("AntsNetSDK");
    ants.Reset(kAnts);
    auto d = Connected<CANTSDevice>("127.0.0.71", 8000, "admin", "12345");
    ASSERT_EQ(d->Login(), 1);
    EXPECT_EQ(ants.Find("ANTS_NET_DVR_SetReconnect(30,0)"), 1);
    ASSERT_EQ(d->RealPlay(2, 0, 0, 0), 1);
    const int first = d->RealPlayHandle(2);
    ASSERT_GT(first, 0);
    ASSERT_TRUE(WaitUntil([&] { return d->pictures() >= 3; }));
    const int mark = static_cast<int>(ants.Calls().size());
    ASSERT_EQ(d->RealPlay(2, 0, 0, 1), 1);
    const int second = d->RealPlayHandle(2);
    EXPECT_NE(second, first);
    const int stop = ants.Find("ANTS_NET_DVR_StopRealPlay(" + std::to_string(first) + ")", mark);
    const int play = ants.Find("ANTS_NET_DVR_RealPlay(", mark);
    ASSERT_GE(stop, 0);
    EXPECT_LT(stop, play) << "the old play stops first";
    EXPECT_EQ(ants.Calls()[play], "ANTS_NET_DVR_RealPlay(1,3,1)");  // channel + 1, sub stream bit
    EXPECT_GE(ants.Find("ANTS_NET_DVR_MakeKeyFrameSub(1,3)", play), 0);
    EXPECT_EQ(d->StopRealPlay(2), 1);
    EXPECT_EQ(d->RealPlayHandle(2), -1);
    EXPECT_EQ(d->RealPlay(4, 0, 0, 0), 0) << "the device has 4 channels";
}

TEST(VendorDevice, AntsAlarmAndExceptionEvents) {
    Emulation ants("AntsNetSDK");
    ants.Reset(kAnts);
    auto d = Connected<CANTSDevice>("127.0.0.71", 8000, "admin", "12345");
    Events events;
    d->SetDeviceId(31);
    d->SetChannelCount(3);
    d->SetEventCallback(&Events::Callback, &events);
    ASSERT_EQ(d->Login(), 1);
    ASSERT_EQ(d->RealPlay(0, 0, 0, 0), 1);  // registers the callbacks
    const int kinds[][2] = {{0, 2}, {2, 1}, {9, 1}, {3, 3}, {6, 3}, {5, 0}};
    for (const auto& k : kinds) {
        const size_t before = events.size();
        ASSERT_EQ(ants.Event(1, k[0]), 1);
        ASSERT_TRUE(WaitUntil([&] { return events.size() == before + 1; }));
        std::lock_guard<std::mutex> lock(events.mu);
        ASSERT_EQ(events.got.back().first, kEventAlarm);
        ASSERT_EQ(events.got.back().second.size(), sizeof(AlarmEventRecord));
        AlarmEventRecord r;
        std::memcpy(&r, events.got.back().second.data(), sizeof r);
        EXPECT_EQ(r.device_id, 31);
        EXPECT_EQ(r.kind, k[1]) << "vendor type " << k[0];
        EXPECT_GE(r.year, 2024);
    }
    ants.Event(2, 0x8000);  // another exception changes nothing
    const size_t before = events.size();
    ants.Event(2, 0x9000);
    ASSERT_TRUE(WaitUntil([&] { return events.size() == before + 4; }));
    EXPECT_FALSE(d->logged_in());
    std::lock_guard<std::mutex> lock(events.mu);
    const std::vector<std::pair<int, std::string>> tail(events.got.end() - 4, events.got.end());
    EXPECT_EQ(tail,
              (std::vector<std::pair<int, std::string>>{{4, "0"}, {4, "1"}, {4, "2"}, {2, ""}}));
}

TEST(VendorDevice, AntsRecordsWriteThenRead) {
    Emulation ants("AntsNetSDK");
    ants.Reset(kAnts);
    auto d = Connected<CANTSDevice>("127.0.0.71", 8000, "admin", "12345");
    ASSERT_EQ(d->Login(), 1);
    // read command, write command, size, channel
    const int kinds[][4] = {{101, 201, 180, 0}, {103, 201, 7336, 1}, {104, 204, 116, 2},
                            {108, 208, 592, 3}, {110, 210, 24, 0},   {306, 506, 6396, 1}};
    for (const auto& k : kinds) {
        std::vector<uint8_t> rec(k[2]), other(k[2]);
        int returned = 0;
        ASSERT_EQ(d->GetDVRConfig(k[0], k[3], rec.data(), k[2], &returned), 1) << k[0];
        EXPECT_EQ(returned, k[2]);
        rec[k[2] - 1] ^= 0x5A;
        rec[8] ^= 0xA5;
        ASSERT_EQ(d->SetDVRConfig(k[1], k[3], rec.data(), k[2]), 1) << k[1];
        std::vector<uint8_t> back(k[2]);
        ASSERT_EQ(d->GetDVRConfig(k[0], k[3], back.data(), k[2], &returned), 1);
        EXPECT_EQ(back, rec) << k[0];
        ASSERT_EQ(d->GetDVRConfig(k[0], k[3] + 1, other.data(), k[2], &returned), 1);
        EXPECT_NE(other, rec) << "another channel keeps its own record";
    }
    std::vector<uint8_t> small(10);
    EXPECT_EQ(d->GetDVRConfig(101, 0, small.data(), 10, nullptr), 0) << "buffer too small";
    EXPECT_EQ(d->SetDVRConfig(201, 0, small.data(), 10), 0) << "wrong length";
    EXPECT_EQ(d->GetDVRConfig(999, 0, small.data(), 10, nullptr), 0);
    EXPECT_EQ(d->RestoreDefault(0, 0), 1);  // the stored records go back to defaults
    std::vector<uint8_t> rec(180);
    ASSERT_EQ(d->GetDVRConfig(101, 0, rec.data(), 180, nullptr), 1);
    EXPECT_EQ(rec[124], 4);
}

// Live pictures of every vendor device reach a snapshot file: an 8-bit BMP of
// the emulated picture, its first row holding the vendor's channel number.
TEST(VendorDevice, LiveViewSnapshotsAndStreamLimits) {
    Emulation ants("AntsNetSDK"), lc("NetClient");
    ants.Reset(kAnts);
    lc.Reset("camsearch ip=127.0.0.41 data_port=5000 channels=4 user=570431 password=570431\n");
    devsim::QvDeviceConfig qc;
    qc.cam_count = 4;
    devsim::QvEmulator qv({qc}, false);
    std::string error;
    ASSERT_TRUE(qv.Start(&error)) << error;
    std::vector<std::unique_ptr<CDevice>> devices;
    devices.push_back(Connected<CANTSDevice>("127.0.0.71", 8000, "admin", "12345"));
    devices.push_back(Connected<CLangChiDevice>("127.0.0.41", 5000, "570431", "570431"));
    devices.push_back(Connected<CQVDevice>("127.0.0.1", qv.port(0), "admin", "vupra"));
    const std::string dir = ::testing::TempDir();
    for (auto& d : devices) {
        ASSERT_EQ(d->Login(), 1) << d->type();
        EXPECT_EQ(d->CapturePicture(3, (dir + "none.bmp").c_str()), 0) << "not playing";
        ASSERT_EQ(d->RealPlay(3, 0, 0, 0), 1) << d->type();
        if (d->type() != kDeviceTypeAnts) {
            EXPECT_EQ(d->RealPlay(4, 0, 0, 0), 0) << "four streams at most";
        }
        const std::string path = dir + "snap" + std::to_string(d->type()) + ".bmp";
        ASSERT_EQ(d->CapturePicture(3, path.c_str()), 1) << d->type();
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_TRUE(f);
        std::vector<uint8_t> bmp(8192);
        bmp.resize(std::fread(bmp.data(), 1, bmp.size(), f));
        std::fclose(f);
        ASSERT_EQ(bmp.size(), 14u + 40 + 1024 + 64 * 48) << d->type();
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[18], 64);  // width
        EXPECT_EQ(bmp[22], 48);  // height
        // Rows are stored bottom-up: the picture's first row is the last.
        // ANTS numbers channels from 1.
        const int vendor_channel = d->type() == kDeviceTypeAnts ? 4 : 3;
        EXPECT_EQ(bmp[bmp.size() - 64], vendor_channel) << "vendor " << d->type();
        EXPECT_EQ(d->StopRealPlay(3), 1);
        EXPECT_EQ(d->Logout(0), 1);
    }
}

class QvDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        devsim::QvDeviceConfig c;
        c.cam_count = 3;
        c.alarm_in = 5;
        c.alarm_out = 2;
        emu_ = std::make_unique<devsim::QvEmulator>(std::vector<devsim::QvDeviceConfig>{c}, false);
        std::string error;
        ASSERT_TRUE(emu_->Start(&error)) << error;
    }
    std::unique_ptr<CQVDevice> Device(const char* password = "vupra") {
        return Connected<CQVDevice>("127.0.0.1", emu_->port(0), "admin", password);
    }
    std::unique_ptr<devsim::QvEmulator> emu_;
};

TEST_F(QvDeviceTest, LoginCountsAndRefusal) {
    auto d = Device();
    ASSERT_EQ(d->Login(), 1);
    const DeviceCounts c = QueryDeviceCounts(*d);
    EXPECT_EQ(c.channels, 3);
    EXPECT_EQ(c.alarm_inputs, 5);
    EXPECT_EQ(c.alarm_outputs, 2);
    auto reqs = emu_->Requests(0);
    ASSERT_GE(reqs.size(), 3u);
    EXPECT_EQ(reqs[reqs.size() - 1].command, 0x10000002u);
    EXPECT_EQ(reqs[reqs.size() - 1].payload.size(), 88u);
    EXPECT_EQ(reqs[reqs.size() - 1].payload[0], 88) << "the record carries its size";
    EXPECT_EQ(d->Logout(0), 1);
    EXPECT_NE(d->GetQVConfig(0, 0x10000001, 0, std::vector<uint8_t>(372).data(), 372, nullptr), 0);

    auto wrong = Device("wrong");
    EXPECT_EQ(wrong->Login(), 0);
    emu_->SetFault(0, devsim::QvFault::kWord20);
    auto d2 = Device();
    emu_->SetFault(0, devsim::QvFault::kNone);
    ASSERT_EQ(d2->Login(), 1);
    emu_->SetFault(0, devsim::QvFault::kWord20);
    EXPECT_EQ(QueryDeviceCounts(*d2).channels, 0) << "a refused read leaves the count 0";
}

TEST_F(QvDeviceTest, ConfigWriteThenReadPerChannelAndPtzCodes) {
    auto d = Device();
    ASSERT_EQ(d->Login(), 1);
    auto coding = [&](int ch, int stream) {
        std::vector<int32_t> r(14, 0);
        r[0] = 56;
        r[1] = ch;
        r[2] = stream;
        int returned = 0;
        EXPECT_EQ(d->GetQVConfig(0, 0x1000000E, 0, r.data(), 56, &returned), 0);
        EXPECT_EQ(returned, 56);
        return r;
    };
    std::vector<int32_t> sub1 = coding(1, 1);
    const std::vector<int32_t> main1 = coding(1, 0);
    sub1[10] = 777;  // bit rate
    sub1[13] = 1;
    ASSERT_EQ(d->SetQVConfig(0, 274, 0, sub1.data(), 56), 0);
    EXPECT_EQ(coding(1, 1), sub1);
    EXPECT_EQ(coding(1, 0), main1) << "the main stream keeps its record";
    EXPECT_NE(coding(0, 1)[10], 777) << "channel 0 keeps its record";

    const uint8_t kCommands[][3] = {{27, 5, 0}, {9, 5, 0}, {0, 7, 0}, {12, 1, 0}};
    const int32_t kWant[][2] = {{4101, 5}, {4110, 0}, {0, 0}, {4109, 0}};
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(d->PTZControl(2, kCommands[i]), 1) << i;
        std::vector<uint8_t> rec = emu_->Record(0, 513);
        ASSERT_EQ(rec.size(), 12u);
        int32_t v[3];
        std::memcpy(v, rec.data(), 12);
        EXPECT_EQ(v[0], 2);
        EXPECT_EQ(v[1], kWant[i][0]) << i;
        EXPECT_EQ(v[2], kWant[i][1]) << i;
    }
    const uint8_t unknown[3] = {50, 0, 0};
    EXPECT_EQ(d->PTZControl(2, unknown), 0);

    EXPECT_EQ(d->SetQVConfig(0, 259, 0, nullptr, 0), 0);
    EXPECT_NE(coding(1, 1)[10], 777) << "restore brings the defaults back";
    EXPECT_EQ(d->SetQVConfig(0, 257, 0, nullptr, 0), 0) << "no answer: the device restarts";
    EXPECT_EQ(emu_->reboots(0), 1);
}

}  // namespace
