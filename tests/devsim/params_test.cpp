// Every parameter group: sizes, codes, channel prefixes, stored records,
// wrong lengths, reset and defaults. Table-driven over the group list.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/devsim/fixture.h"
#include "zynvs/wire/param_fields.h"

namespace zyn::wire {
// Test names carry the group's name, not a dump of its bytes.
void PrintTo(const ParamGroupInfo& g, std::ostream* out) {
    *out << g.name;
}
}  // namespace zyn::wire

namespace devsim_test {
namespace {

using ParamGroup = zyn::wire::ParamGroupInfo;

class ParamTest : public EmulatorTest, public ::testing::WithParamInterface<ParamGroup> {
protected:
    void SetUp() override {
        StartDevice(SmallDevice(1, 2));
        ASSERT_TRUE(Login(ctl_, ctl_port()));
    }
    Bytes GetRequest(const ParamGroup& g, uint8_t ch) {
        return g.get_has_channel ? ChannelPrefix(ch) : Bytes{};
    }
    Bytes SetRequest(const ParamGroup& g, uint8_t ch, const Bytes& record) {
        Bytes p = g.set_has_channel ? ChannelPrefix(ch) : Bytes{};
        p.insert(p.end(), record.begin(), record.end());
        return p;
    }
    std::optional<Msg> Get(const ParamGroup& g, uint8_t ch) {
        return ctl_.Request(g.get_command, GetRequest(g, ch), g.get_command | 0x8000);
    }
    // `record` with the fields the device fills in on a read taken from `read`.
    static Bytes WithLiveFields(const ParamGroup& g, Bytes record, const Bytes& read) {
        if (g.group == zyn::wire::ParamGroup::kBase) {
            const auto& f = zyn::wire::Field(g.group, "clock");
            std::copy_n(read.begin() + f.offset, f.size, record.begin() + f.offset);
        }
        return record;
    }
    LinkPeer ctl_;
};

TEST_P(ParamTest, GetReturnsTheStoredRecordAndSetReplacesIt) {
    const ParamGroup g = GetParam();
    auto r = Get(g, 1);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 4 + g.record_bytes);
    EXPECT_EQ(r->Result(), 0);
    EXPECT_EQ(r->Word(), 0);
    Bytes record(r->payload.begin() + 4, r->payload.end());
    EXPECT_EQ(record, dev().Param(g.get_command, 1));
    EXPECT_TRUE(std::any_of(record.begin(), record.end(), [](uint8_t b) { return b != 0; }));

    Bytes changed(g.record_bytes);
    for (size_t i = 0; i < changed.size(); ++i) changed[i] = static_cast<uint8_t>(0xC0 ^ i);
    auto s = ctl_.Request(g.set_command, SetRequest(g, 1, changed), g.set_command | 0x8000);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->payload, (Bytes{0, 0, 0, 0}));
    r = Get(g, 1);
    ASSERT_TRUE(r);
    const Bytes read(r->payload.begin() + 4, r->payload.end());
    EXPECT_EQ(read, WithLiveFields(g, changed, read));
    EXPECT_EQ(dev().Param(g.get_command, 1), WithLiveFields(g, changed, read));

    // Per-channel groups keep channel 0 apart; device-wide ones share one record.
    r = Get(g, 0);
    ASSERT_TRUE(r);
    Bytes other(r->payload.begin() + 4, r->payload.end());
    if (g.set_has_channel)
        EXPECT_NE(other, changed);
    else
        EXPECT_EQ(other, WithLiveFields(g, changed, other));

    // The exact request bytes were logged.
    auto logged = emu_->log().WaitForCommand(g.set_command, 1000);
    ASSERT_TRUE(logged);
    EXPECT_EQ(logged->payload, SetRequest(g, 1, changed));
}

TEST_P(ParamTest, WrongLengthsAndChannelsAreRefused) {
    const ParamGroup g = GetParam();
    const Bytes before = dev().Param(g.get_command, 0);
    Bytes get = GetRequest(g, 0);
    get.push_back(0);
    auto r = ctl_.Request(g.get_command, get, g.get_command | 0x8000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
    EXPECT_EQ(r->payload.size(), 4u);

    for (int delta : {-1, +1, +4}) {
        Bytes set = SetRequest(g, 0, Bytes(g.record_bytes + delta, 0x77));
        r = ctl_.Request(g.set_command, set, g.set_command | 0x8000);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Result(), devsim::kResultBadLength) << "delta " << delta;
    }
    if (g.get_has_channel) {
        r = Get(g, 2);  // the device has channels 0 and 1
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Result(), devsim::kResultBadArgument);
    }
    if (g.set_has_channel) {
        r = ctl_.Request(g.set_command, SetRequest(g, 7, Bytes(g.record_bytes, 1)),
                         g.set_command | 0x8000);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Result(), devsim::kResultBadArgument);
    }
    EXPECT_EQ(dev().Param(g.get_command, 0), before);
}

INSTANTIATE_TEST_SUITE_P(AllGroups, ParamTest, ::testing::ValuesIn(zyn::wire::kParamGroups),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParamTable, SizesAndCodesOfEveryGroup) {
    struct Row {
        uint16_t get, set;
        size_t size;
        bool get_prefix, set_prefix;
    };
    const Row expected[] = {
        {0x0501, 0x0502, 88, false, false},  {0x0503, 0x0504, 92, true, true},
        {0x0505, 0x0506, 4, true, true},     {0x0507, 0x0508, 8, true, true},
        {0x0509, 0x050A, 304, true, true},   {0x050B, 0x050C, 72, true, true},
        {0x050D, 0x050E, 80, true, true},    {0x050F, 0x0510, 8, true, true},
        {0x0511, 0x0512, 72, true, true},    {0x0513, 0x0514, 328, false, false},
        {0x0518, 0x0519, 4, true, true},     {0x051A, 0x051B, 84, true, true},
        {0x051E, 0x051F, 264, false, false}, {0x0523, 0x0522, 25, true, false},
        {0x0525, 0x0524, 200, true, false},  {0x0527, 0x0526, 516, true, false},
    };
    const auto& groups = zyn::wire::kParamGroups;
    ASSERT_EQ(std::size(groups), std::size(expected));
    for (size_t i = 0; i < std::size(groups); ++i) {
        EXPECT_EQ(groups[i].get_command, expected[i].get) << i;
        EXPECT_EQ(groups[i].set_command, expected[i].set) << i;
        EXPECT_EQ(groups[i].record_bytes, expected[i].size) << i;
        EXPECT_EQ(groups[i].get_has_channel, expected[i].get_prefix) << i;
        EXPECT_EQ(groups[i].set_has_channel, expected[i].set_prefix) << i;
    }
}

class ParamResetTest : public EmulatorTest {};

TEST_F(ParamResetTest, VideoRecordCarriesTheResolutionCode) {
    auto d = SmallDevice();
    d.main = {704, 576, 25, 300, 5, 1};
    StartDevice(d);
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    for (uint8_t ch = 0; ch < 4; ++ch) {
        auto r = ctl.Request(0x0503, ChannelPrefix(ch), 0x8503);
        ASSERT_TRUE(r);
        ASSERT_EQ(r->payload.size(), 96u);
        EXPECT_EQ(r->payload[4 + zyn::wire::kVideoRecordResolution], 3);  // 704x576
    }
}

TEST_F(ParamResetTest, ResetAndDefaultsRestoreTheRecords) {
    StartDevice(SmallDevice());
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    const Bytes original = dev().Param(0x0511, 0);
    auto set = [&] {
        Bytes p = ChannelPrefix(0);
        p.resize(4 + 72, 0x99);
        auto r = ctl.Request(0x0512, p, 0x8512);
        ASSERT_TRUE(r);
        ASSERT_EQ(r->Result(), 0);
        ASSERT_NE(dev().Param(0x0511, 0), original);
    };
    set();
    auto r = ctl.Request(0x0517, {}, 0x8517);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(dev().Param(0x0511, 0), original);

    set();
    r = ctl.Request(0x0585, U32(0x12345678), 0x8585);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    EXPECT_EQ(dev().Param(0x0511, 0), original);
    EXPECT_EQ(dev().DefaultParamWords(), (std::vector<uint32_t>{0x12345678}));

    r = ctl.Request(0x0517, {1}, 0x8517);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
    r = ctl.Request(0x0585, {1, 2}, 0x8585);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
}

TEST_F(ParamResetTest, ThreeGSetterTakesTheRecordWithoutPrefix) {
    StartDevice(SmallDevice());
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    Bytes record(25);
    for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i + 1);
    auto r = ctl.Request(0x0522, record, 0x8522);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    r = ctl.Request(0x0523, ChannelPrefix(3), 0x8523);  // any valid channel reads the same
    ASSERT_TRUE(r);
    EXPECT_EQ(Bytes(r->payload.begin() + 4, r->payload.end()), record);
    Bytes with_prefix = ChannelPrefix(0);
    with_prefix.insert(with_prefix.end(), record.begin(), record.end());
    r = ctl.Request(0x0522, with_prefix, 0x8522);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
}

// Named fields written over the wire come back as written, and the device
// acts on them: the name it reports, its addresses, its ports after a
// reboot, the size and coding of the video it sends next.
TEST_F(ParamResetTest, FieldsAreStoredAndApplied) {
    namespace w = zyn::wire;
    StartDevice(SmallDevice(1, 2));
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    // Two free ports for the move.
    uint16_t free_ports[2];
    int socks[2];
    for (int i = 0; i < 2; ++i) {
        socks[i] = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ASSERT_EQ(bind(socks[i], reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        getsockname(socks[i], reinterpret_cast<sockaddr*>(&a), &len);
        free_ports[i] = ntohs(a.sin_port);
    }
    for (int s : socks) close(s);
    struct Case {
        w::ParamGroup group;
        uint8_t channel;
        std::vector<std::pair<const char*, std::string>> fields;
    };
    const Case cases[] = {
        {w::ParamGroup::kBase, 0, {{"name", "Gate cam"}, {"timezone", "-300"}, {"dst", "on"}}},
        {w::ParamGroup::kNetwork,
         0,
         {{"address", "10.1.2.3"},
          {"control_port", std::to_string(free_ports[0])},
          {"stream_port", std::to_string(free_ports[1])},
          {"ntp_server", "time.example"}}},
        {w::ParamGroup::kVideo,
         1,
         {{"resolution", "d1"},
          {"fps", "10"},
          {"bitrate", "300"},
          {"gop", "5"},
          {"sub_resolution", "qcif"},
          {"title", "Door"}}},
        {w::ParamGroup::kMotion,
         1,
         {{"sensitivity", "5"}, {"row17", "0x00000003"}, {"sat2", "20:00-24:00"}}},
        {w::ParamGroup::kRecord, 0, {{"mode", "schedule"}, {"mon1", "08:00-18:30"}}},
        {w::ParamGroup::kWifi, 0, {{"ssid", "yard"}, {"security", "wpa2"}}},
    };
    for (const Case& c : cases) {
        const w::ParamGroupInfo& g = w::GroupInfo(c.group);
        Bytes record = dev().Param(g.get_command, c.channel);
        for (const auto& [name, value] : c.fields)
            ASSERT_TRUE(w::ParseField(value, *w::FindField(c.group, name), record.data())) << name;
        Bytes p = g.set_has_channel ? ChannelPrefix(c.channel) : Bytes{};
        p.insert(p.end(), record.begin(), record.end());
        auto r = ctl.Request(g.set_command, p, g.set_command | 0x8000);
        ASSERT_TRUE(r);
        ASSERT_EQ(r->Result(), 0) << g.name;
        r = ctl.Request(g.get_command, g.get_has_channel ? ChannelPrefix(c.channel) : Bytes{},
                        g.get_command | 0x8000);
        ASSERT_TRUE(r);
        for (const auto& [name, value] : c.fields)
            EXPECT_EQ(w::FormatField(r->payload.data() + 4, *w::FindField(c.group, name)), value)
                << g.name << "." << name;
    }
    const Bytes info = dev().DeviceInfo();
    EXPECT_STREQ(reinterpret_cast<const char*>(w::DeviceInfo(info.data()).name()), "Gate cam");
    const Bytes answer = dev().SearchReply();
    EXPECT_EQ(w::SearchAnswer(answer.data()).address(), 0x0A010203u);

    // The video of channel 1 is encoded again; channel 0 keeps its own.
    ASSERT_TRUE(WaitUntil([&] { return dev().Loop(1, 0)->key.width == 704; }, 20000));
    auto main = dev().Loop(1, 0), sub = dev().Loop(1, 1);
    EXPECT_EQ(std::tie(main->key.height, main->key.fps, main->key.bitrate_kbps, main->key.gop),
              std::make_tuple(576, 10, 300, 5));
    EXPECT_EQ(std::make_pair(sub->key.width, sub->key.height), std::make_pair(176, 144));
    EXPECT_NE(dev().Loop(0, 0)->key.width, 704);
    // A record whose coding is out of range is kept but changes nothing.
    Bytes bad = dev().Param(0x0503, 1);
    bad[w::kVideoRecordResolution] = 9;
    Bytes p = ChannelPrefix(1);
    p.insert(p.end(), bad.begin(), bad.end());
    auto r = ctl.Request(0x0504, p, 0x8504);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    EXPECT_EQ(dev().Param(0x0503, 1), bad);
    EXPECT_EQ(dev().Loop(1, 0), main);

    // The ports move at the next reboot.
    EXPECT_NE(ctl_port(), free_ports[0]);
    dev().Reboot();
    ASSERT_TRUE(dev().WaitUntilUp(1, 10000));
    EXPECT_EQ(ctl_port(), free_ports[0]);
    EXPECT_EQ(str_port(), free_ports[1]);
    LinkPeer again;
    EXPECT_TRUE(Login(again, free_ports[0]));
}

}  // namespace
}  // namespace devsim_test
