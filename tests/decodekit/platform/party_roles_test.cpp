// The emulator's parties against the platform services: an encoder's live
// video goes through the media service to a user client that records it, a
// stream server is told to forward it, and each fault of the encoder ends as
// the services promise.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "decodekit/core/ctrl_server.h"
#include "decodekit/core/device_manage.h"
#include "decodekit/core/media_server.h"
#include "decodekit/core/party_clients.h"
#include "decodekit/core/services.h"
#include "mediafile/record_reader.h"
#include "platform_test_util.h"
#include "tools/devsim/party.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace {
namespace platform = zyn::platform;
namespace wire = zyn::wire;
using devsim::PartyRole;
using devsim::PartyStats;

constexpr uint32_t kEncoder = 100, kClient = 200, kStreamer = 300;

enum class Fault { kNone, kSilent, kDrop, kGarbage };
const char* FaultName(Fault f) {
    static const char* kNames[] = {"none", "silent", "drop", "garbage"};
    return kNames[static_cast<int>(f)];
}

class Roles : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        CDeviceManage::Options options;
        devsim::QuietCodecLogs();
        options.tick_ms = 60000;  // the test ticks the encoder itself
        options.query_screen_saver = false;
        reg_ = std::make_unique<CDeviceManage>(options);
        ASSERT_NE(0, platform::StartCtrlService(*reg_, 0, 0, 0));
        ASSERT_NE(0, platform::StartMediaService(*reg_, 0, 0, 0));
        reg_->SetTickHook(nullptr);
        for (auto [id, kind] : {std::pair{kEncoder, wire::kPartyEncoder},
                                {kClient, wire::kPartyUserClient},
                                {kStreamer, wire::kPartyStreamServer}}) {
            DeviceLoginInfo r{};
            r.device_id = static_cast<int>(id);
            r.device_kind = kind;
            r.channel_count = 1;
            std::strncpy(r.user_name, "admin", sizeof(r.user_name));
            std::strncpy(r.password, "pw", sizeof(r.password));
            ASSERT_EQ(1, reg_->AddDevice(&r));
        }
    }
    void TearDown() override {
        parties_.clear();
        platform::StopCtrlService(*reg_);
        platform::StopMediaService(*reg_);
        reg_.reset();
    }
    devsim::Party& Start(PartyRole role, uint32_t id, const std::string& record = "") {
        devsim::PartyConfig c;
        c.role = role;
        c.id = id;
        c.password = "pw";
        c.control_port = reg_->CtrlService()->LocalPort();
        c.media_port = reg_->MediaService()->LocalPort();
        c.channel_count = 1;
        c.keepalive_ms = 50;
        c.video = {176, 144, 25, 200, 10, 1};
        c.wants = {{kEncoder, 0, wire::kMainVideo}};
        c.record_path = record;
        parties_.push_back(std::make_unique<devsim::Party>(c));
        std::string error;
        EXPECT_TRUE(parties_.back()->Start(&error)) << error;
        EXPECT_TRUE(parties_.back()->WaitLoggedIn(3000)) << devsim::PartyRoleName(role);
        return *parties_.back();
    }

    std::unique_ptr<CDeviceManage> reg_;
    std::vector<std::unique_ptr<devsim::Party>> parties_;
};

TEST_P(Roles, VideoReachesTheClientAndEachFaultEndsAsPromised) {
    platform_test::TempFolder dir;
    const std::string path = dir.file("client.rec");
    devsim::Party& streamer = Start(PartyRole::kStreamServer, kStreamer);
    devsim::Party& encoder = Start(PartyRole::kEncoder, kEncoder);
    devsim::Party& client = Start(PartyRole::kUserClient, kClient, path);

    // Asked for, relayed to the encoder, answered, forwarded and flowing.
    ASSERT_TRUE(client.WaitUntil(
        [](const PartyStats& s) { return s.stream_replies_ok == 1 && s.recorded_frames >= 12; },
        5000))
        << client.Status();
    EXPECT_EQ(1u, client.Stats().listed_devices);  // filter 2: the encoder alone
    EXPECT_EQ(1u, encoder.Stats().requests_answered);
    EXPECT_TRUE(
        streamer.WaitUntil([](const PartyStats& s) { return s.forward_instructions == 1; }, 3000));
    auto forward = streamer.log().WaitForCommand(ZYN_CMD_STREAM_REQUEST, 1000);
    ASSERT_TRUE(forward && forward->payload.size() == wire::StreamRequestView::kBytes);
    EXPECT_EQ(kEncoder, wire::StreamRequestView(forward->payload.data()).link_value());
    EXPECT_EQ(kClient, wire::StreamRequestView(forward->payload.data()).stream_address());
    // The relayed packets carry the encoder's id.
    auto packet = client.log().WaitForCommand(ZYN_CMD_VIDEO_FRAGMENT, 1000);
    ASSERT_TRUE(packet);
    EXPECT_EQ(kEncoder, packet->second_word);

    auto vexora = std::dynamic_pointer_cast<CVexora>(reg_->Find(kEncoder));
    ASSERT_TRUE(vexora);
    const uint64_t frames_before = client.Stats().video_frames;
    switch (GetParam()) {
        case Fault::kNone:
            break;
        case Fault::kSilent:
            // Seven ticks without a keep-alive (one already on its way may
            // reset the count once, so tick on until the encoder is dropped).
            encoder.SetSilent(true);
            for (int tick = 0; tick < 30 && encoder.Stats().control_connected; ++tick) {
                vexora->KeepAlive();
                if (tick >= 6)
                    encoder.WaitUntil([](const PartyStats& s) { return !s.control_connected; },
                                      100);
            }
            break;
        case Fault::kDrop:
            encoder.DropConnections();
            break;
        case Fault::kGarbage:
            encoder.SendGarbage(false, 300);
            encoder.SendGarbage(true, 300);
            break;
    }
    if (GetParam() == Fault::kNone) {
        EXPECT_TRUE(client.WaitUntil(
            [&](const PartyStats& s) { return s.video_frames >= frames_before + 10; }, 3000))
            << client.Status();
    } else {
        // Silence, a dropped link or garbage (which ends the sender's
        // connection in the transport) take the encoder offline, and its
        // subscriber hears it.
        auto report = client.log().WaitFor(
            [](const devsim::ReceivedMessage& m) {
                return m.command == ZYN_CMD_STATE_REPORT &&
                       m.payload.size() >= wire::DeviceListEntry::kBytes &&
                       wire::DeviceListEntry(m.payload.data()).online() == 0;
            },
            3000);
        EXPECT_TRUE(report) << FaultName(GetParam());
        EXPECT_TRUE(encoder.WaitUntil(
            [](const PartyStats& s) { return !s.control_connected && !s.media_connected; }, 3000));
        // The client's own session goes on.
        const uint64_t replies = client.Stats().keepalive_replies;
        EXPECT_TRUE(client.WaitUntil(
            [&](const PartyStats& s) { return s.keepalive_replies >= replies + 2; }, 3000));
        EXPECT_TRUE(client.Stats().logged_in);
    }

    // Every frame the client counted as recorded is a whole record in the file.
    client.Stop();
    const uint64_t recorded = client.Stats().recorded_frames;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(f);
    mediafile::FileByteSource source(f);
    std::fseek(f, 512, SEEK_SET);
    mediafile::RecordReader reader(source, 512);
    mediafile::MediaRecord record;
    uint64_t records = 0, keys = 0;
    while (reader.Next(&record)) {
        ++records;
        if (wire::FragmentHeader(record.header).frame_type() == wire::kKeyFrameType) ++keys;
    }
    std::fclose(f);
    EXPECT_EQ(recorded, records);
    EXPECT_GE(keys, 1u);
    EXPECT_EQ(0u, reader.stats().skipped_bytes);
}

INSTANTIATE_TEST_SUITE_P(Faults, Roles,
                         ::testing::Values(Fault::kNone, Fault::kSilent, Fault::kDrop,
                                           Fault::kGarbage),
                         [](const auto& info) { return std::string(FaultName(info.param)); });

}  // namespace
