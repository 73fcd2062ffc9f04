// Every parameter group in both directions against the emulator, with the
// exact codes and payloads on the wire; failed and unanswered getters leave
// the caller's record alone; replies too short for the record are refused.
#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <cstring>
#include <thread>

#include "tests/decodekit/sdk_support/scripted_peer.h"
#include "tests/decodekit/sdk_support/sdk_fixture.h"
#include "zynvs/wire/param_fields.h"

namespace sdk_test {
namespace {

using namespace std::chrono_literals;
using Getter = int (*)(int id, int ch, void* record);
using Setter = int (*)(int id, int ch, void* record);

struct Group {
    const char* name;
    uint16_t get, set;
    std::size_t bytes;
    bool get_prefix, set_prefix;
    Getter getter;
    Setter setter;
};

int GetBase(int id, int, void* r) { return ZYNVS_GetBaseParam(id, r); }
int SetBase(int id, int, void* r) { return ZYNVS_SetBaseParam(id, r); }
int GetNetwork(int id, int, void* r) { return ZYNVS_GetNetworkParam(id, r); }
int SetNetwork(int id, int, void* r) { return ZYNVS_SetNetworkParam(id, r); }

// Codes, prefixes and sizes as the device protocol has them.
const Group kGroups[] = {
    {"base", 0x0501, 0x0502, 88, false, false, GetBase, SetBase},
    {"video", 0x0503, 0x0504, 92, true, true, ZYNVS_GetVideoParam, ZYNVS_SetVideoParam},
    {"audio", 0x0505, 0x0506, 4, true, true, ZYNVS_GetAudioParam, ZYNVS_SetAudioParam},
    {"rs", 0x0507, 0x0508, 8, true, true, ZYNVS_GetRSParam, ZYNVS_SetRSParam},
    {"motion", 0x0509, 0x050A, 304, true, true, ZYNVS_GetMotionParam, ZYNVS_SetMotionParam},
    {"sensor", 0x050B, 0x050C, 72, true, true, ZYNVS_GetSensorParam, ZYNVS_SetSensorParam},
    {"mask", 0x050D, 0x050E, 80, true, true, ZYNVS_GetMaskParam, ZYNVS_SetMaskParam},
    {"vloss", 0x050F, 0x0510, 8, true, true, ZYNVS_GetVLossParam, ZYNVS_SetVLossParam},
    {"record", 0x0511, 0x0512, 72, true, true, ZYNVS_GetRecordParam, ZYNVS_SetRecordParam},
    {"network", 0x0513, 0x0514, 328, false, false, GetNetwork, SetNetwork},
    {"pan", 0x0518, 0x0519, 4, true, true, ZYNVS_GetPanParam, ZYNVS_SetPanParam},
    {"capture", 0x051A, 0x051B, 84, true, true, ZYNVS_GetCaptureParam, ZYNVS_SetCaptureParam},
    {"wifi", 0x051E, 0x051F, 264, false, false, ZYNVS_GetWifiParam, ZYNVS_SetWifiParam},
    {"3g", 0x0523, 0x0522, 25, true, false, ZYNVS_Get3GParam, ZYNVS_Set3GParam},
    {"ftp", 0x0525, 0x0524, 200, true, false, ZYNVS_GetFtpParam, ZYNVS_SetFtpParam},
    {"mail", 0x0527, 0x0526, 516, true, false, ZYNVS_GetMailParam, ZYNVS_SetMailParam},
};

// Test names show the group, not its bytes.
void PrintTo(const Group& g, std::ostream* os) { *os << g.name; }

class Params : public SdkTest, public ::testing::WithParamInterface<Group> {};

// The device fills the base record's clock in on every read; elsewhere the
// records pass unchanged.
Bytes WithoutClock(uint16_t get, Bytes r) {
    const auto& f = zyn::wire::Field(zyn::wire::ParamGroup::kBase, "clock");
    if (get == ZYN_CMD_GET_BASE && r.size() >= f.offset + f.size)
        std::fill_n(r.begin() + f.offset, f.size, 0);
    return r;
}

TEST_P(Params, GetterAndSetterCarryTheRecordWithTheirCodesAndPrefix) {
    const Group& g = GetParam();
    ASSERT_TRUE(StartDevices({SmallDevice(1, 4)}));
    ASSERT_TRUE(Login(0, 1));
    const int ch = 2;
    const int stored_ch = g.get_prefix ? ch : 0;

    // Get.
    uint64_t from = Log().NextSequence();
    Bytes rec(g.bytes + 8, 0xCD);  // 8 guard bytes past the record
    ASSERT_EQ(g.getter(1, ch, rec.data()), 1) << g.name;
    auto req = Log().WaitForCommand(g.get, 1000, -1, from);
    ASSERT_TRUE(req);
    EXPECT_EQ(req->second_word, 0);
    EXPECT_EQ(Hex(req->payload), g.get_prefix ? "02 00 00 00" : "");
    Bytes device_record = Dev().Param(g.get, stored_ch);
    ASSERT_EQ(device_record.size(), g.bytes);
    EXPECT_EQ(Hex(rec.data(), g.bytes), Hex(device_record));
    for (std::size_t i = g.bytes; i < rec.size(); ++i) ASSERT_EQ(rec[i], 0xCD) << "wrote past the record";

    // Set: prefix + record, or the record alone (3G, FTP and mail setters
    // ignore their second argument).
    Bytes fresh = Pattern(g.bytes, g.set);
    from = Log().NextSequence();
    ASSERT_EQ(g.setter(1, g.set_prefix ? ch : 3, fresh.data()), 1) << g.name;
    auto set = Log().WaitForCommand(g.set, 1000, -1, from);
    ASSERT_TRUE(set);
    Bytes expected_payload;
    if (g.set_prefix) expected_payload = {ch, 0, 0, 0};
    expected_payload.insert(expected_payload.end(), fresh.begin(), fresh.end());
    EXPECT_EQ(set->payload.size(), expected_payload.size());
    EXPECT_EQ(Hex(set->payload), Hex(expected_payload));
    const int set_ch = g.set_prefix ? ch : 0;
    EXPECT_EQ(Hex(Dev().Param(g.get, set_ch)), Hex(fresh));
    Bytes back(g.bytes);
    ASSERT_EQ(g.getter(1, ch, back.data()), 1);
    EXPECT_EQ(WithoutClock(g.get, back), WithoutClock(g.get, fresh));

    // A refused getter (nonzero result word) leaves the record as it was;
    // so does a refused setter's device state.
    Dev().AddReplyFault({g.get, devsim::FaultAction::kResult, 5, 1});
    Bytes untouched(g.bytes, 0x77);
    EXPECT_EQ(g.getter(1, ch, untouched.data()), 0);
    EXPECT_EQ(untouched, Bytes(g.bytes, 0x77));
    Dev().AddReplyFault({g.set, devsim::FaultAction::kResult, 5, 1});
    EXPECT_EQ(g.setter(1, ch, Pattern(g.bytes, 99).data()), 0);
    EXPECT_EQ(Hex(WithoutClock(g.get, Dev().Param(g.get, set_ch))),
              Hex(WithoutClock(g.get, fresh)));

    // Null records and unknown ids send nothing.
    from = Log().NextSequence();
    EXPECT_EQ(g.getter(1, ch, nullptr), 0);
    EXPECT_EQ(g.setter(1, ch, nullptr), 0);
    EXPECT_EQ(g.getter(12345, ch, rec.data()), 0);
    EXPECT_FALSE(Log().WaitFor([&](const devsim::ReceivedMessage& m) {
        return m.command == g.get || m.command == g.set;
    }, 50, from));
}

INSTANTIATE_TEST_SUITE_P(AllGroups, Params, ::testing::ValuesIn(kGroups),
                         [](const auto& info) { return std::string(info.param.name); });

class ParamExtra : public SdkTest {};

TEST_F(ParamExtra, UnansweredGettersOfEveryGroupLeaveTheRecordAlone) {
    std::vector<devsim::DeviceConfig> devices;
    for (uint32_t i = 0; i < 16; ++i) devices.push_back(SmallDevice(100 + i, 1));
    ASSERT_TRUE(StartDevices(devices));
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(Login(i, 200 + i));
        Dev(i).AddReplyFault({kGroups[i].get, devsim::FaultAction::kDrop, 0, 1});
    }
    // All at once, one per device: the time-outs run side by side.
    std::vector<Bytes> recs(16);
    std::vector<int> results(16, -1);
    std::vector<std::thread> threads;
    const auto t0 = Clock::now();
    for (int i = 0; i < 16; ++i) {
        recs[i].assign(kGroups[i].bytes, 0x3C);
        threads.emplace_back([&, i] { results[i] = kGroups[i].getter(200 + i, 0, recs[i].data()); });
    }
    for (auto& t : threads) t.join();
    EXPECT_GE(Clock::now() - t0, 2900ms);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(results[i], 0) << kGroups[i].name;
        EXPECT_EQ(recs[i], Bytes(kGroups[i].bytes, 0x3C)) << kGroups[i].name;
    }
}

TEST_F(ParamExtra, DefaultAndResetParametersAndTheExMembers) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 2)}));
    ASSERT_TRUE(Login(0, 1));
    Dev().SetParam(0x0501, 0, Bytes(88, 0x11));
    uint64_t from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_SetDefaultParam(1, 0x01020304), 1);
    auto def = Log().WaitForCommand(0x0585, 1000, -1, from);
    ASSERT_TRUE(def);
    EXPECT_EQ(Hex(def->payload), "04 03 02 01");
    EXPECT_EQ(Dev().DefaultParamWords(), std::vector<uint32_t>{0x01020304});

    Dev().SetParam(0x0501, 0, Bytes(88, 0x11));
    from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_ResetParam(1), 1);
    auto reset = Log().WaitForCommand(0x0517, 1000, -1, from);
    ASSERT_TRUE(reset);
    EXPECT_EQ(Hex(reset->raw), "11 11 17 05 00 00 00 00");
    EXPECT_NE(Dev().Param(0x0501), Bytes(88, 0x11)) << "the device took the reset";
    Dev().AddReplyFault({0x0517, devsim::FaultAction::kResult, 1, 1});
    EXPECT_EQ(ZYNVS_ResetParam(1), 0);

    // Platform-only members answer 0 on a direct device and send nothing.
    from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_GetMotionParamEx(1, 0, 0), 0);
    EXPECT_EQ(ZYNVS_SetMotionParamEx(1, 0, 0), 0);
    EXPECT_EQ(ZYNVS_GetRSParamEx(1, 0, 0), 0);
    EXPECT_EQ(ZYNVS_SetRSParamEx(1, 0, 0), 0);
    EXPECT_EQ(ZYNVS_SetDefaultParam(999, 1), 0);
    EXPECT_EQ(ZYNVS_ResetParam(999), 0);
    EXPECT_FALSE(Log().WaitFor([](const devsim::ReceivedMessage& m) { return m.command != 0x0103; },
                               50, from));
}

// A reply that is too short for its record (the reply slot still holds an
// earlier, longer reply) must not hand back stale bytes.
TEST_F(ParamExtra, ReplyShorterThanTheRecordIsRefused) {
    ScriptedPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.SetAnswer(0x0511, [](uint16_t, const Bytes&) {
        ScriptedPeer::Answer a;
        a.command = 0x8511;
        a.payload = {0, 0, 0, 0};
        Bytes part = Pattern(10, 5);
        a.payload.insert(a.payload.end(), part.begin(), part.end());
        return a;
    });
    DeviceLoginInfo rec{};
    rec.device_id = 8;
    rec.channel_count = 1;
    std::strcpy(rec.control_address, "127.0.0.1");
    rec.control_port = peer.control_port();
    rec.stream_port = peer.stream_port();
    rec.device_kind = 1;
    ASSERT_EQ(ZYNVS_Login(&rec), 1);
    uint8_t video[92];
    ASSERT_EQ(ZYNVS_GetVideoParam(8, 0, video), 1);  // fills the reply slot with 96 bytes
    uint8_t record[72];
    std::memset(record, 0x42, sizeof record);
    EXPECT_EQ(ZYNVS_GetRecordParam(8, 0, record), 0);
    for (uint8_t b : record) ASSERT_EQ(b, 0x42);
    EXPECT_EQ(peer.Count(0x0511), 1u);
}

}  // namespace
}  // namespace sdk_test
