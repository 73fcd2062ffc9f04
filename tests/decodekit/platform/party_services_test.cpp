// The control, media and playback services against scripted parties on
// loopback sockets: logins, device lists, stream requests answered or relayed,
// the media fan-out, keep-alive loss and bad input.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/ctrl_server.h"
#include "decodekit/core/media_server.h"
#include "decodekit/core/party_clients.h"
#include "decodekit/core/play_back.h"
#include "decodekit/core/services.h"
#include "party_peer.h"

namespace {
using namespace party_test;
namespace platform = zyn::platform;

template <typename Pred>
bool WaitFor(Pred pred, int limit_ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

uint16_t ResultOf(const Message& m) {
    return m.body.size() >= 2 ? wire::LoadLe16(m.body.data()) : 0xFFFF;
}

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        CDeviceManage::Options options;
        options.tick_ms = 60000;  // the tests drive the ticks themselves
        options.query_screen_saver = false;
        reg_ = std::make_unique<CDeviceManage>(options);
        ASSERT_NE(0, platform::StartCtrlService(*reg_, 0, 0, 0));
        ASSERT_NE(0, platform::StartMediaService(*reg_, 0, 0, 0));
        reg_->SetTickHook(nullptr);  // the tests tick the control service themselves
        ctrl_port_ = reg_->CtrlService()->LocalPort();
        media_port_ = reg_->MediaService()->LocalPort();
    }
    void TearDown() override {
        platform::StopCtrlService(*reg_);
        platform::StopMediaService(*reg_);
        reg_.reset();
    }

    void Add(int id, int kind, int channels = 4, const char* address = "",
             uint16_t stream_port = 0) {
        DeviceLoginInfo r{};
        r.device_id = id;
        r.device_kind = kind;
        r.channel_count = channels;
        std::strncpy(r.user_name, "admin", sizeof(r.user_name));
        std::strncpy(r.password, "pw", sizeof(r.password));
        std::strncpy(r.stream_address, address, sizeof(r.stream_address) - 1);
        r.stream_port = stream_port;
        ASSERT_EQ(1, reg_->AddDevice(&r));
    }
    // Logs the peer in as the party; returns its session number.
    uint16_t LogIn(Peer& peer, int id, uint8_t kind, uint8_t channels = 4) {
        peer.Send(ZYN_CMD_LOGIN, 0, LoginBody(id, channels, kind, "admin", "pw"));
        auto reply = peer.Expect(wire::kLoginReply);
        EXPECT_TRUE(reply && ResultOf(*reply) == 0) << "login of " << id;
        return reply ? reply->word : 0;
    }
    template <typename T>
    std::shared_ptr<T> Obj(int id) {
        return std::dynamic_pointer_cast<T>(reg_->Find(id));
    }

    std::unique_ptr<CDeviceManage> reg_;
    uint16_t ctrl_port_ = 0, media_port_ = 0;
};

TEST_F(Services, LoginResultsAndSessionNumbers) {
    Add(1, wire::kPartyEncoder);
    Add(10, wire::kPartyUserClient);
    static std::atomic<int> logged_in{0};
    logged_in = 0;
    reg_->SetMessageCallback(
        [](int, int message, void*, int, void*) {
            if (message == wire::kMsgLoggedIn) ++logged_in;
        },
        nullptr);
    struct Case {
        uint32_t id;
        uint8_t kind;
        const char* password;
        bool short_body;
        uint16_t result;
    };
    const Case cases[] = {
        {1, wire::kPartyEncoder, "pw", false, 0},
        {1, wire::kPartyUserClient, "pw", false, 2},  // encoder's record, user kind
        {99, wire::kPartyUserClient, "pw", false, 3},
        {1, wire::kPartyEncoder, "PW", false, 2},  // case-sensitive
        {10, wire::kPartyUserClient, "pw", false, 0},
        {10, 5, "pw", false, 2},
        {10, wire::kPartyUserClient, "pw", true, 2},
    };
    int expected_logins = 0;
    int previous_session = -1;
    for (const auto& c : cases) {
        Peer peer(ctrl_port_);
        ASSERT_TRUE(peer.ok());
        Bytes body = LoginBody(c.id, 4, c.kind, "admin", c.password);
        if (c.short_body) body.resize(3);
        peer.Send(ZYN_CMD_LOGIN, 0, body);
        auto reply = peer.Expect(wire::kLoginReply);
        ASSERT_TRUE(reply) << c.id;
        EXPECT_EQ(c.result, ResultOf(*reply)) << c.id << "/" << int(c.kind);
        if (previous_session >= 0) {
            EXPECT_EQ(previous_session + 1, reply->word);
        }
        previous_session = reply->word;
        expected_logins += c.result == 0;
        if (c.result == 0) {
            EXPECT_EQ(reply->word, Obj<CPlatformParty>(c.id)->Session());
            EXPECT_EQ(1, reg_->Find(c.id)->LoginRecord().online);
        }
    }
    EXPECT_EQ(expected_logins, logged_in.load());
    reg_->SetMessageCallback(nullptr, nullptr);
}

TEST_F(Services, DeviceListFilterSplitAndEntries) {
    for (int i = 0; i < 20; ++i) Add(100 + i, wire::kPartyEncoder, 4);
    Add(10, wire::kPartyUserClient);
    Add(11, wire::kPartyUserClient);
    ASSERT_EQ(1, platform::SetDevChanName(*reg_, 100, 1, "gate"));
    ASSERT_EQ(1, reg_->SetDeviceName(10, "desk"));

    // A connection that has not logged in gets no list.
    Peer stranger(ctrl_port_);
    stranger.Send(ZYN_CMD_DEVICE_LIST, 0, {0});
    EXPECT_TRUE(stranger.Drain(0).empty());

    Peer client(ctrl_port_);
    const uint16_t session = LogIn(client, 10, wire::kPartyUserClient);
    struct Case {
        uint8_t filter;
        uint16_t total;
        std::vector<uint16_t> per_message;
    };
    const Case cases[] = {
        {3, 2, {2}},
        {2, 20, std::vector<uint16_t>(10, 2)},       // 4 + 2 x 392 fits, a third would not
        {6, 0, {}},                                  // nothing to list: no reply
        {0, 22, {3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1}},  // ids ascending: the two clients first
    };
    for (const auto& c : cases) {
        client.Send(ZYN_CMD_DEVICE_LIST, session, {c.filter});
        std::vector<uint16_t> counts;
        for (const auto& m : client.Drain(session)) {
            ASSERT_EQ(wire::kDeviceListReply, m.command);
            ASSERT_LE(m.body.size(), wire::kDeviceListLimit);
            wire::DeviceListHeader h(m.body.data());
            EXPECT_EQ(c.total, h.total());
            counts.push_back(h.entry_count());
            // Walk the entries: their sizes must add up to the message.
            std::size_t at = wire::DeviceListHeader::kBytes;
            for (int e = 0; e < h.entry_count(); ++e) {
                wire::DeviceListEntry entry(m.body.data() + at);
                const bool encoder = entry.kind() <= 1;
                if (entry.device_id() == 100) {
                    wire::ChannelBlock block(m.body.data() + at + wire::DeviceListEntry::kBytes +
                                             wire::ChannelBlock::kBytes);
                    EXPECT_STREQ("gate", reinterpret_cast<const char*>(block.name()));
                }
                if (entry.device_id() == 10) {
                    EXPECT_STREQ("desk", reinterpret_cast<const char*>(entry.name()));
                    EXPECT_EQ(1, entry.online());
                }
                at += wire::DeviceListEntry::kBytes +
                      (encoder ? entry.channel_count() * wire::ChannelBlock::kBytes : 0);
            }
            EXPECT_EQ(m.body.size(), at);
        }
        EXPECT_EQ(c.per_message, counts) << "filter " << int(c.filter);
    }
}

TEST_F(Services, StreamRequestsAnsweredHereOrRelayed) {
    Add(1, wire::kPartyEncoder, 4, "10.1.2.3", 9000);
    Add(10, wire::kPartyUserClient);
    Add(30, wire::kPartyStreamServer, 0, "10.9.9.9", 7000);
    Peer encoder(ctrl_port_), user(ctrl_port_), streamer(ctrl_port_);
    const uint16_t enc_session = LogIn(encoder, 1, wire::kPartyEncoder);
    const uint16_t user_session = LogIn(user, 10, wire::kPartyUserClient);
    const uint16_t str_session = LogIn(streamer, 30, wire::kPartyStreamServer);
    auto enc = Obj<CVexora>(1);
    enc->SetVideoFlag(1, 1);  // channel 1's main video is flowing

    struct Case {
        uint8_t kind, channel, open;
        uint32_t encoder_id;
        bool relayed;
        uint16_t result;  // answered here, or the encoder's reply
    };
    const Case cases[] = {
        {wire::kMainVideo, 1, 1, 1, false, 0},  {wire::kMainVideo, 1, 0, 1, false, 1},
        {wire::kSubVideo, 1, 1, 1, true, 0},    {wire::kMainVideo, 2, 1, 1, true, 0},
        {wire::kMainVideo, 1, 1, 99, false, 1},  // no such encoder
        {wire::kMainVideo, 7, 1, 1, false, 1},   // no such channel
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.kind) << "/" << int(c.channel) << "/"
                                        << int(c.open) << "/" << c.encoder_id);
        user.Send(ZYN_CMD_STREAM_REQUEST, 0x4242,
                  StreamBody(c.kind, c.channel, c.open, c.encoder_id));
        if (c.relayed) {
            auto relayed = encoder.Expect(ZYN_CMD_STREAM_REQUEST);
            ASSERT_TRUE(relayed);
            EXPECT_EQ(enc_session, relayed->word);
            wire::StreamRequestView r(relayed->body.data());
            EXPECT_EQ(9000, r.stream_port());
            EXPECT_EQ(0x0A010203u, r.stream_address());
            Bytes reply = {0, 0, 0x34, 0x12};
            encoder.Send(wire::kStreamReply, enc_session, reply);
        }
        auto answer = user.Expect(wire::kStreamReply);
        ASSERT_TRUE(answer);
        EXPECT_EQ(c.result, ResultOf(*answer));
        EXPECT_EQ(c.relayed ? 1 : 0x4242, answer->word);
        if (c.result == 0) {
            auto forward = streamer.Expect(ZYN_CMD_STREAM_REQUEST);
            ASSERT_TRUE(forward);
            EXPECT_EQ(str_session, forward->word);
            EXPECT_EQ(10u, wire::StreamRequestView(forward->body.data()).stream_address());
            EXPECT_EQ(c.channel, forward->body[1]);
            EXPECT_EQ(1u, enc->SubscriberCount(c.channel));
        }
    }
    // Nothing else went to the stream server or the user.
    EXPECT_TRUE(streamer.Drain(str_session).empty());
    EXPECT_TRUE(user.Drain(user_session).empty());
}

TEST_F(Services, FullRoadFanOutAndKeepAliveLoss) {
    Add(1, wire::kPartyEncoder, 4, "10.1.2.3", 9000);
    Add(10, wire::kPartyUserClient);
    Add(11, wire::kPartyRecordServer);
    Peer enc_ctrl(ctrl_port_), user_ctrl(ctrl_port_), rec_ctrl(ctrl_port_);
    const uint16_t enc_session = LogIn(enc_ctrl, 1, wire::kPartyEncoder);
    const uint16_t user_session = LogIn(user_ctrl, 10, wire::kPartyUserClient);
    LogIn(rec_ctrl, 11, wire::kPartyRecordServer);
    Peer enc_media(media_port_), user_media(media_port_), rec_media(media_port_),
        stray(media_port_);
    enc_media.Send(ZYN_CMD_STREAM_BIND, 0, U32(1));
    user_media.Send(ZYN_CMD_STREAM_BIND, 0, U32(10));
    rec_media.Send(ZYN_CMD_STREAM_BIND, 0, U32(11));
    auto enc = Obj<CVexora>(1);
    ASSERT_TRUE(WaitFor([&] {
        return enc->HasMedia() && Obj<CPlatformParty>(10)->HasMedia() &&
               Obj<CPlatformParty>(11)->HasMedia();
    }));

    // The user asks for channel 1; the encoder's reply is relayed.
    user_ctrl.Send(ZYN_CMD_STREAM_REQUEST, user_session, StreamBody(wire::kMainVideo, 1, 1, 1));
    ASSERT_TRUE(enc_ctrl.Expect(ZYN_CMD_STREAM_REQUEST));
    enc_ctrl.Send(wire::kStreamReply, enc_session, {0, 0, 0, 0});
    auto reply = user_ctrl.Expect(wire::kStreamReply);
    ASSERT_TRUE(reply);
    EXPECT_EQ(1, reply->word);
    // Asking again is answered here and subscribes once.
    user_ctrl.Send(ZYN_CMD_STREAM_REQUEST, user_session, StreamBody(wire::kMainVideo, 1, 1, 1));
    reply = user_ctrl.Expect(wire::kStreamReply);
    ASSERT_TRUE(reply && ResultOf(*reply) == 0);
    EXPECT_EQ(1u, enc->SubscriberCount(1));

    // Unbound media and channel 4 are dropped; channel 1 reaches the subscriber only.
    stray.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, Fragment(1, 7, 0, 3, {9, 9, 9}));
    enc_media.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, Fragment(4, 7, 0, 3, {4, 4, 4}));
    const Bytes packet = Fragment(1, 7, 0, 3, {1, 2, 3});
    enc_media.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, packet);
    auto got = user_media.Next();
    ASSERT_TRUE(got);
    EXPECT_EQ(ZYN_CMD_VIDEO_FRAGMENT, got->command);
    EXPECT_EQ(1, got->word);
    EXPECT_EQ(packet, got->body);
    EXPECT_FALSE(rec_media.Next(200));

    // A party deleted from the registry gets nothing more; the other one does.
    ASSERT_EQ(1, platform::AddTransDevice(*reg_, 1, 1, 11));
    EXPECT_EQ(0, platform::AddTransDevice(*reg_, 10, 1, 11));  // not an encoder
    reg_->DeleteDevice(10);
    enc_media.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, packet);
    ASSERT_TRUE(rec_media.Next());
    EXPECT_FALSE(user_media.Next(200));
    ASSERT_EQ(1, platform::DeleteTransDevice(*reg_, 1, 1, 11));
    ASSERT_EQ(1, platform::AddTransDevice(*reg_, 1, 1, 11));
    ASSERT_EQ(1, platform::AddTransDevice(*reg_, 1, 1, 11));  // once only
    EXPECT_EQ(1u, enc->SubscriberCount(1));

    // The encoder stays silent: six ticks keep it, the seventh takes it offline.
    ASSERT_EQ(zyn::kStreamFlowing, enc->StreamStateOf(1, wire::kMainVideo));
    // (A keep-alive first: the housekeeping thread's first tick may have counted.)
    enc_ctrl.Send(ZYN_CMD_KEEPALIVE, enc_session);
    ASSERT_TRUE(enc_ctrl.Expect(wire::kKeepAliveReply));
    ASSERT_EQ(0, enc->KeepAliveMisses());
    for (int tick = 0; tick < 6; ++tick) enc->KeepAlive();
    EXPECT_EQ(1, enc->LoginRecord().online);
    enc->KeepAlive();
    auto state = rec_ctrl.Expect(ZYN_CMD_STATE_REPORT);
    ASSERT_TRUE(state);
    ASSERT_EQ(wire::DeviceListEntry::kBytes + 4 * wire::ChannelBlock::kBytes, state->body.size());
    wire::DeviceListEntry entry(state->body.data());
    EXPECT_EQ(1u, entry.device_id());
    EXPECT_EQ(0, entry.online());
    EXPECT_EQ(zyn::kStreamLost, enc->StreamStateOf(1, wire::kMainVideo));
    EXPECT_TRUE(enc_ctrl.WaitClosed());
    EXPECT_TRUE(enc_media.WaitClosed());

    // Back online, the lost stream is asked for again on the next tick; the
    // encoder's unsolicited acceptance makes it flow and is reported.
    Peer enc_again(ctrl_port_);
    const uint16_t again_session = LogIn(enc_again, 1, wire::kPartyEncoder);
    enc->KeepAlive();
    auto restart = enc_again.Expect(ZYN_CMD_STREAM_REQUEST);
    ASSERT_TRUE(restart);
    EXPECT_EQ(again_session, restart->word);
    wire::StreamRequestView asked(restart->body.data());
    EXPECT_EQ(wire::kMainVideo, asked.stream_kind());
    EXPECT_EQ(1, asked.channel());
    EXPECT_EQ(1, asked.open_flag());
    enc_again.Send(wire::kStreamReply, again_session, {0, 0, 1, wire::kMainVideo});
    state = rec_ctrl.Expect(ZYN_CMD_STATE_REPORT);
    ASSERT_TRUE(state);
    EXPECT_EQ(1, wire::DeviceListEntry(state->body.data()).online());
    EXPECT_EQ(zyn::kStreamFlowing, enc->StreamStateOf(1, wire::kMainVideo));

    // A client without keep-alives is dropped at its seventh tick.
    auto rec = Obj<CPlatformParty>(11);
    rec_ctrl.Send(ZYN_CMD_KEEPALIVE, rec->Session());
    ASSERT_TRUE(rec_ctrl.Expect(wire::kKeepAliveReply));
    for (int tick = 0; tick < 6; ++tick) rec->KeepAlive();
    EXPECT_TRUE(rec->HasControl());
    rec->KeepAlive();
    EXPECT_FALSE(rec->HasControl());
    EXPECT_TRUE(rec_ctrl.WaitClosed());
}

TEST_F(Services, SlowSubscriberSkipsToNextKeyFrameWithoutStallingOthers) {
    Add(1, wire::kPartyEncoder);
    Add(10, wire::kPartyUserClient);
    Add(11, wire::kPartyUserClient);
    Peer enc_ctrl(ctrl_port_), fast_ctrl(ctrl_port_), slow_ctrl(ctrl_port_);
    LogIn(enc_ctrl, 1, wire::kPartyEncoder);
    LogIn(fast_ctrl, 10, wire::kPartyUserClient);
    LogIn(slow_ctrl, 11, wire::kPartyUserClient);
    Peer enc_media(media_port_), fast(media_port_), slow(media_port_);
    enc_media.Send(ZYN_CMD_STREAM_BIND, 0, U32(1));
    fast.Send(ZYN_CMD_STREAM_BIND, 0, U32(10));
    slow.Send(ZYN_CMD_STREAM_BIND, 0, U32(11));
    auto enc = Obj<CVexora>(1);
    ASSERT_TRUE(WaitFor([&] {
        return enc->HasMedia() && Obj<CPlatformParty>(10)->HasMedia() &&
               Obj<CPlatformParty>(11)->HasMedia();
    }));
    ASSERT_EQ(1, platform::AddTransDevice(*reg_, 1, 0, 10));
    ASSERT_EQ(1, platform::AddTransDevice(*reg_, 1, 0, 11));

    // Far more than one connection may queue, while the slow one never reads.
    const uint32_t backlog = 300;
    auto packet = [](uint32_t number, uint8_t type, std::size_t size) {
        Bytes b = Fragment(0, type, type == wire::kKeyFrameType ? 0 : 1, 0, Bytes(size, 0x5A));
        wire::MutableFragmentHeader(b.data()).set_frame_number(number);
        return b;
    };
    std::vector<uint32_t> fast_seen;
    std::thread reader([&] {
        while (fast_seen.size() < backlog + 3) {
            auto m = fast.Next(10000);
            if (!m) return;
            fast_seen.push_back(wire::FragmentHeader(m->body.data()).frame_number());
        }
    });
    for (uint32_t n = 0; n < backlog; ++n)
        enc_media.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, packet(n, 1, 60000));
    ASSERT_TRUE(WaitFor([&] { return enc->DroppedPackets() > 0; }, 10000));
    // The slow one catches up; a packet before the next key frame is still skipped.
    std::thread slow_reader([&] {
        while (auto m = slow.Next(10000)) {
            const uint32_t number = wire::FragmentHeader(m->body.data()).frame_number();
            if (number >= 1000) {
                EXPECT_EQ(1001u, number);
                auto next = slow.Next();
                ASSERT_TRUE(next);
                EXPECT_EQ(1002u, wire::FragmentHeader(next->body.data()).frame_number());
                return;
            }
        }
        ADD_FAILURE() << "the key frame never reached the slow subscriber";
    });
    enc_media.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, packet(1000, 1, 100));
    enc_media.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, packet(1001, wire::kKeyFrameType, 100));
    enc_media.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, packet(1002, 1, 100));
    reader.join();
    slow_reader.join();
    // The fast subscriber lost nothing, in order.
    ASSERT_EQ(backlog + 3, fast_seen.size());
    for (uint32_t n = 0; n < backlog; ++n) EXPECT_EQ(n, fast_seen[n]);
}

TEST_F(Services, BoundsOnSilentConnectionsAndRelays) {
    Add(1, wire::kPartyEncoder);
    Add(10, wire::kPartyUserClient);
    // A connection that never logs in is closed after a bounded number of ticks.
    Peer silent(ctrl_port_);
    auto ctrl = reg_->CtrlService();
    ASSERT_TRUE(WaitFor([&] { return ctrl->PendingConnections() == 1; }));
    for (int tick = 1; tick < CCtrlServer::kLoginTicks; ++tick) ctrl->Tick();
    EXPECT_EQ(1u, ctrl->PendingConnections());
    ctrl->Tick();
    EXPECT_EQ(0u, ctrl->PendingConnections());
    EXPECT_TRUE(silent.WaitClosed());

    // Requests relayed to an encoder that never answers stay bounded.
    Peer encoder(ctrl_port_), user(ctrl_port_);
    const uint16_t encoder_session = LogIn(encoder, 1, wire::kPartyEncoder);
    const uint16_t user_session = LogIn(user, 10, wire::kPartyUserClient);
    const int sent = static_cast<int>(zyn::kMaxPendingRequests) + 6;
    for (int i = 0; i < sent; ++i) user.Send(ZYN_CMD_PTZ, 1, {1, 2, 3, 4});
    int relayed = 0;
    while (relayed < sent && encoder.Expect(ZYN_CMD_PTZ)) ++relayed;
    EXPECT_EQ(sent, relayed);
    EXPECT_EQ(zyn::kMaxPendingRequests, Obj<CVexora>(1)->PendingCount());
    // ... and go once the reply time-out has passed: a late reply reaches no one.
    auto vexora = Obj<CVexora>(1);
    vexora->KeepAlive();
    EXPECT_EQ(zyn::kMaxPendingRequests, vexora->PendingCount());
    vexora->set_reply_timeout_ms(1);
    EXPECT_TRUE(WaitFor(
        [&] {
            vexora->KeepAlive();
            return vexora->PendingCount() == 0;
        },
        20));
    encoder.Send(wire::kPtzReply, encoder_session, {0, 0, 0, 0});
    encoder.Drain(encoder_session);  // the service has handled the reply
    for (const Message& m : user.Drain(user_session)) EXPECT_NE(wire::kPtzReply, m.command);
    // A malformed stream request is answered with a failure, not relayed.
    user.Send(ZYN_CMD_STREAM_REQUEST, 0, {0, 1});
    auto answer = user.Expect(wire::kStreamReply);
    ASSERT_TRUE(answer);
    EXPECT_EQ(1, ResultOf(*answer));
}

TEST(PlayBack, WaitsForKeyFrameAndRefusesOversizedFragments) {
    CDeviceManage::Options options;
    options.tick_ms = 60000;
    options.query_screen_saver = false;
    CDeviceManage reg(options);
    ASSERT_EQ(1, platform::StartPlayBackService(reg, 0, 0));
    auto service = reg.PlayBackService();
    Peer pusher(service->LocalPort());
    ASSERT_TRUE(pusher.ok());
    const Bytes half(600, 0x11);
    struct Push {
        uint8_t type, index;
        uint32_t total;
        std::size_t length;   // of the fragment data
        std::size_t claimed;  // fragment length in the header (0: length)
    };
    const Push pushes[] = {
        {7, 0, 600, 600, 0},                                // no key frame yet: dropped
        {5, 0, 1200, 600, 0},                               // key frame, first half
        {5, 1, 1200, 600, 0},                               // ... complete: shown
        {7, 0, 2048, 600, 0},      {7, 200, 2048, 600, 0},  // index out of range
        {7, 0, 300000, 600, 0},                             // larger than the buffer
        {7, 0, 204800, 1024, 0},                            // a large frame begins ...
        {7, 199, 204800, 1100, 0},  // ... and its data would pass the buffer
        {7, 0, 600, 100, 600},      // claims more data than it carries
        {7, 0, 600, 600, 0},        // a whole frame: shown
    };
    for (const auto& p : pushes) {
        Bytes body = Fragment(0, p.type, p.index, p.total, Bytes(p.length, 0x22));
        if (p.claimed) wire::MutableFragmentHeader(body.data()).set_fragment_length(p.claimed);
        pusher.Send(ZYN_CMD_VIDEO_FRAGMENT, 0, body);
    }
    ASSERT_TRUE(WaitFor([&] { return service->FramesShown() >= 2; }));
    EXPECT_EQ((std::vector<uint8_t>{5, 7}), service->ShownTypes());
    EXPECT_EQ(5u, service->FramesDropped());
    EXPECT_EQ(1, platform::StopPlayBackService(reg));
    EXPECT_EQ(0, platform::StopPlayBackService(reg));
}
}  // namespace
