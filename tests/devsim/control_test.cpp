// Control commands: PTZ, reboot, remote record, serial data, clear alarm,
// upgrade, record query and record-file play, unsolicited messages.
#include <cstring>

#include "tests/devsim/fixture.h"

namespace devsim_test {
namespace {

class ControlTest : public EmulatorTest {
protected:
    void StartLoggedIn(devsim::DeviceConfig d = SmallDevice()) {
        StartDevice(std::move(d));
        ASSERT_TRUE(Login(ctl_, ctl_port()));
    }
    LinkPeer ctl_;
};

TEST_F(ControlTest, PtzCommandsAreAnsweredAndKept) {
    StartLoggedIn();
    auto r = ctl_.Request(0x0401, {0x15, 0x05, 0x00, 0x02}, 0x8401);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload, (Bytes{0, 0, 0, 0}));
    ASSERT_EQ(dev().PtzCommands().size(), 1u);
    EXPECT_EQ(dev().PtzCommands()[0], (std::array<uint8_t, 4>{0x15, 0x05, 0x00, 0x02}));
    r = ctl_.Request(0x0401, {0x15, 0x05, 0x00, 0x09}, 0x8401);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadArgument);
    r = ctl_.Request(0x0401, {0x15, 0x05, 0x00}, 0x8401);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
    EXPECT_EQ(dev().PtzCommands().size(), 1u);
}

TEST_F(ControlTest, RebootDropsTheConnectionsAndComesBack) {
    StartLoggedIn();
    const uint16_t port = ctl_port();
    auto r = ctl_.Request(0x0404, {}, 0x8404);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->payload.empty());
    EXPECT_TRUE(ctl_.WaitLost(3000));
    ASSERT_TRUE(dev().WaitUntilUp(1, 5000));
    EXPECT_EQ(dev().RebootCount(), 1);
    EXPECT_EQ(ctl_port(), port);
    LinkPeer again;
    EXPECT_TRUE(Login(again, port));
    // Stored parameters survive a reboot.
    EXPECT_FALSE(dev().Param(0x0501).empty());
}

TEST_F(ControlTest, RemoteManualRecordWordsAreKept) {
    StartLoggedIn();
    for (uint32_t word : {0x00000101u, 0x00000001u}) {
        auto r = ctl_.Request(0x0405, U32(word), 0x8405);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Result(), 0);
    }
    EXPECT_EQ(dev().RemoteRecordWords(), (std::vector<uint32_t>{0x101, 0x1}));
}

TEST_F(ControlTest, SerialDataIsEchoedOrAnsweredByScript) {
    auto d = SmallDevice();
    d.serial_rules = {{{0x01, 0x03}, {0xAA, 0xBB, 0xCC}}};
    StartLoggedIn(d);
    Bytes req = {3, 0, 2, 0, 'a', 'b', 'c'};
    auto r = ctl_.Request(0x0406, req, 0x8406);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload, (Bytes{0, 0, 0, 0, 3, 0, 2, 0, 'a', 'b', 'c'}));
    r = ctl_.Request(0x0406, {2, 0, 1, 0, 0x01, 0x03}, 0x8406);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload, (Bytes{0, 0, 0, 0, 3, 0, 1, 0, 0xAA, 0xBB, 0xCC}));
    r = ctl_.Request(0x0406, {9, 0, 1, 0, 1}, 0x8406);  // says 9 bytes, has 1
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
    ASSERT_EQ(dev().SerialData().size(), 2u);
    EXPECT_EQ(dev().SerialData()[0], (Bytes{'a', 'b', 'c'}));
}

TEST_F(ControlTest, ClearAlarm) {
    StartLoggedIn();
    Bytes p = ChannelPrefix(3);
    Bytes word = U32(0x55);
    p.insert(p.end(), word.begin(), word.end());
    auto r = ctl_.Request(0x0528, p, 0x8528);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    ASSERT_EQ(dev().ClearedAlarms().size(), 1u);
    EXPECT_EQ(dev().ClearedAlarms()[0], (std::pair<int, uint32_t>{3, 0x55}));
    r = ctl_.Request(0x0528, ChannelPrefix(0), 0x8528);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
}

Bytes UpgradeRequest(uint32_t size, uint32_t crc) {
    Bytes r(72, 0);
    const zyn::wire::MutableUpgradeRequest view(r.data());
    view.set_image_bytes(size);
    view.set_crc32(crc);
    std::memcpy(view.file_name(), "zyncam.bin", 10);
    return r;
}

Bytes Chunk(uint16_t seq, const Bytes& image, size_t from, size_t n) {
    Bytes c(4 + n);
    std::memcpy(&c[0], &seq, 2);
    uint16_t len = static_cast<uint16_t>(n);
    std::memcpy(&c[2], &len, 2);
    std::copy(image.begin() + static_cast<long>(from), image.begin() + static_cast<long>(from + n),
              c.begin() + 4);
    return c;
}

TEST_F(ControlTest, UpgradeImageIsReassembledAndChecked) {
    StartLoggedIn();
    Bytes image(2500);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
    uint32_t crc = zyn::wire::Crc32(image.data(), image.size());
    auto r = ctl_.Request(0x0104, UpgradeRequest(2500, crc), 0x8104);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->Result(), 0);
    size_t sizes[] = {1000, 1000, 500};
    size_t at = 0;
    for (uint16_t seq = 0; seq < 3; ++seq) {
        r = ctl_.Request(0x0105, Chunk(seq, image, at, sizes[seq]), 0x8105);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Result(), 0) << seq;
        at += sizes[seq];
    }
    auto st = dev().Upgrade();
    EXPECT_TRUE(st.complete);
    EXPECT_FALSE(st.failed);
    EXPECT_EQ(st.chunks, 3u);
    EXPECT_EQ(st.image, image);
    EXPECT_EQ(st.request, UpgradeRequest(2500, crc));
    // Nothing more is taken once the image is complete.
    r = ctl_.Request(0x0105, Chunk(3, image, 0, 10), 0x8105);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadSequence);
}

TEST_F(ControlTest, UpgradeFailures) {
    auto d = SmallDevice();
    d.upgrade_max_bytes = 4096;
    StartLoggedIn(d);
    Bytes image(1500, 0x5A);
    // A chunk without a request.
    auto r = ctl_.Request(0x0105, Chunk(0, image, 0, 100), 0x8105);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadSequence);
    // Too large, empty, wrong length.
    r = ctl_.Request(0x0104, UpgradeRequest(5000, 0), 0x8104);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultTooLarge);
    r = ctl_.Request(0x0104, UpgradeRequest(0, 0), 0x8104);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadArgument);
    r = ctl_.Request(0x0104, Bytes(71, 0), 0x8104);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
    // A wrong checksum fails on the last chunk.
    r = ctl_.Request(0x0104, UpgradeRequest(1500, 0xDEADBEEF), 0x8104);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->Result(), 0);
    r = ctl_.Request(0x0105, Chunk(0, image, 0, 1000), 0x8105);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    r = ctl_.Request(0x0105, Chunk(1, image, 1000, 500), 0x8105);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadChecksum);
    EXPECT_TRUE(dev().Upgrade().failed);
    // A chunk that runs past the announced size.
    r = ctl_.Request(0x0104, UpgradeRequest(1000, 0), 0x8104);
    ASSERT_TRUE(r);
    r = ctl_.Request(0x0105, Chunk(0, image, 0, 1001), 0x8105);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadSequence);
    // A chunk whose length word disagrees with the payload.
    Bytes bad = Chunk(0, image, 0, 10);
    bad[2] = 11;
    r = ctl_.Request(0x0105, bad, 0x8105);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
}

Bytes Query(uint8_t channel, uint8_t type = 0, uint16_t per_reply = 0) {
    Bytes q(36, 0);
    zyn::wire::MutableRecordQuery(q.data()).set_channel(channel);
    zyn::wire::MutableRecordQuery(q.data()).set_file_type(type);
    zyn::wire::MutableRecordQuery(q.data()).set_per_reply(per_reply);
    return q;
}

TEST_F(ControlTest, RecordQueryIsAnsweredInSeveralMessages) {
    StartLoggedIn();
    ASSERT_GT(ctl_.Send(0x0204, Query(0xFF)), 0);
    auto files = dev().RecordFiles();
    ASSERT_EQ(files.size(), 6u);
    size_t seen = 0;
    for (int msg = 0; msg < 2; ++msg) {
        auto r = ctl_.WaitFor(0x8204, 3000);
        ASSERT_TRUE(r);
        ASSERT_EQ(r->payload.size(), 4u + 3u * 144u);
        EXPECT_EQ(GetU16(r->payload, 0), 3);
        EXPECT_EQ(GetU16(r->payload, 2), 6);
        for (int k = 0; k < 3; ++k, ++seen) {
            const uint8_t* e = r->payload.data() + 4 + k * 144;
            const auto& f = files[seen];
            EXPECT_STREQ(reinterpret_cast<const char*>(zyn::wire::RecordEntry(e).name()),
                         f.name.c_str());
            EXPECT_EQ(zyn::wire::RecordEntry(e).channel(), f.channel);
            EXPECT_EQ(zyn::wire::RecordEntry(e).file_type(), f.file_type);
            EXPECT_EQ(zyn::wire::RecordEntry(e).index(), f.index);
        }
    }
    EXPECT_EQ(seen, 6u);
    // Filters and a smaller message size.
    ctl_.Send(0x0204, Query(0xFF, 0, 2));
    for (int msg = 0; msg < 3; ++msg) {
        auto r = ctl_.WaitFor(0x8204, 3000);
        ASSERT_TRUE(r);
        EXPECT_EQ(GetU16(r->payload, 0), 2);
    }
    ctl_.Send(0x0204, Query(1));
    auto r = ctl_.WaitFor(0x8204, 3000);
    ASSERT_TRUE(r);
    EXPECT_EQ(GetU16(r->payload, 2), 2);  // files 1 and 5 are on channel 1
    ctl_.Send(0x0204, Query(3, 2));
    r = ctl_.WaitFor(0x8204, 3000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload, (Bytes{0, 0, 0, 0}));  // none: an empty list
    ctl_.Send(0x0204, Bytes(35, 0));
    r = ctl_.WaitFor(0x8204, 3000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload, (Bytes{0, 0, 0, 0}));
}

TEST_F(ControlTest, RecordFilePlayAndFetch) {
    StartLoggedIn();
    ctl_.Send(0x0204, Query(0xFF, 0, 27));
    auto list = ctl_.WaitFor(0x8204, 3000);
    ASSERT_TRUE(list);
    Bytes desc(list->payload.begin() + 4 + 144, list->payload.begin() + 4 + 288);  // 2nd file
    desc.resize(152, 0);
    zyn::wire::MutableRecordEntry(desc.data()).set_action(1);  // fetch
    auto r = ctl_.Request(0x0206, desc, 0x8206);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    zyn::wire::MutableRecordEntry(desc.data()).set_index(99);
    r = ctl_.Request(0x0206, desc, 0x8206);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultNoSuchFile);
    r = ctl_.Request(0x0206, Bytes(144, 0), 0x8206);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadLength);
    ASSERT_EQ(dev().RecordFileRequests().size(), 2u);
    EXPECT_EQ(dev().RecordFileRequests()[1], desc);
}

TEST_F(ControlTest, UnsolicitedMessagesReachLoggedInClients) {
    StartLoggedIn();
    LinkPeer outsider;
    ASSERT_TRUE(outsider.Open(ctl_port()));
    dev().SendAlarmReport(2, 5, true);
    auto m = ctl_.WaitFor(zyn::wire::kAlarmReport, 3000);
    ASSERT_TRUE(m);
    ASSERT_EQ(m->payload.size(), zyn::wire::AlarmReport::kBytes);
    EXPECT_EQ(m->payload[0], 2);
    EXPECT_EQ(m->payload[1], 5);
    EXPECT_EQ(m->payload[2], 1);
    EXPECT_EQ(GetU32(m->payload, 8), 1u);
    dev().SendUnsolicited(0x0777, {1, 2, 3});
    m = ctl_.WaitFor(0x0777, 3000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->payload, (Bytes{1, 2, 3}));
    EXPECT_FALSE(outsider.Next(200));  // not logged in: nothing
}

}  // namespace
}  // namespace devsim_test
