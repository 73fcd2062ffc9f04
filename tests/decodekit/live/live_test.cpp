// Live streams through the C interface against the emulator: reassembled
// frames against the frames the device sent, the layouts of the data
// callbacks, the sub stream sent as channel 4, show/hide, stream switch,
// closing the stream connection with the last stream, failed stream requests.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <map>

#include "tests/decodekit/sdk_support/sdk_fixture.h"

namespace sdk_test {
namespace {

using namespace std::chrono_literals;

bool IsVideo(const Delivery& d) {
    return d.data.size() >= 30 && std::memcmp(d.data.data(), "XCXBV", 5) == 0;
}
bool IsAudio(const Delivery& d) {
    return d.data.size() >= 30 && std::memcmp(d.data.data(), "XCXBA", 5) == 0;
}

// Frames put together from the RealDataCallback copies of the fragments,
// keyed by frame number; checks the layout of every copy on the way.
struct RealDataFrames {
    std::map<uint32_t, Bytes> frames;
    std::string errors;
};
RealDataFrames Reassemble(const std::vector<Delivery>& real, uint32_t t_min, uint32_t t_max) {
    RealDataFrames out;
    Bytes current;
    uint32_t number = 0, total = 0;
    bool open = false;
    for (const Delivery& d : real) {
        if (!IsVideo(d)) continue;
        const uint8_t* h = d.data.data() + 6;
        if (d.data[5] != 0) out.errors += "prefix byte 5 not 0; ";
        const uint8_t index = h[6];
        const uint16_t frag = Le16(h + 22);
        const uint8_t* data;
        std::size_t len;
        if (index == 0) {
            // Prefix, header with byte 5 = 3, 8-byte time stamp, data.
            if (h[5] != 3) out.errors += "first fragment without byte 5 = 3; ";
            const uint32_t t = Le32(d.data.data() + 30);
            if (t < t_min || t > t_max) out.errors += "time stamp " + std::to_string(t) + " off; ";
            if (Le32(d.data.data() + 34) != 0) out.errors += "high time word not 0; ";
            data = d.data.data() + 38;
            len = d.data.size() - 38;
            current.clear();
            number = Le32(h + 8);
            total = Le32(h + 12);
            open = true;
        } else {
            // Prefix and the whole message.
            if (h[5] != 0) out.errors += "later fragment with byte 5 changed; ";
            data = d.data.data() + 30;
            len = d.data.size() - 30;
        }
        if (len != frag) out.errors += "fragment length " + std::to_string(len) + " vs header " + std::to_string(frag) + "; ";
        if (!open) continue;
        current.insert(current.end(), data, data + len);
        if (current.size() == total) {
            out.frames[number] = current;
            open = false;
        }
    }
    return out;
}

class Live : public SdkTest {};

TEST_F(Live, FramesAreReassembledByteForByteAndTheCallbacksHaveTheirLayouts) {
    auto cfg = SmallDevice(1, 1);
    cfg.fragment_bytes = 700;  // several fragments per frame
    ASSERT_TRUE(StartDevices({cfg}, /*keep_sent_frames=*/true));
    ASSERT_TRUE(Login(0, 1));
    const uint32_t t_min = static_cast<uint32_t>(std::time(nullptr)) - 2;
    ASSERT_TRUE(PlayData(1, 0, 30));
    ASSERT_EQ(ZYNVS_OpenSoundVoice(1, 0, 0), 1);
    ASSERT_TRUE(media_.WaitFull(1, 0, 10, 5000, /*kind=*/1));
    ASSERT_EQ(ZYNVS_StopRealPlay(1, 0), 1);
    ASSERT_EQ(ZYNVS_CloseSound(1, 0), 1);
    const uint32_t t_max = static_cast<uint32_t>(std::time(nullptr)) + 2;

    const auto full = media_.Full(1, 0, 0);
    std::size_t checked = 0;
    EXPECT_EQ(CompareWithSent(full, Dev(), 0, 0, &checked), "");
    EXPECT_GE(checked, 30u);
    EXPECT_EQ(ViewRecord(full.front().data).frame_type, 7) << "the stream starts with a key frame";
    bool multi = false;
    for (const auto& d : full) {
        FrameView v = ViewRecord(d.data);
        EXPECT_EQ(d.frame_type, v.frame_type);
        EXPECT_EQ(v.byte5, 0) << "the time mark belongs to the callback copies only";
        EXPECT_EQ(v.index, 0);
        multi = multi || v.total > 700;
    }
    EXPECT_TRUE(multi);

    // The raw copies hold exactly the same frames.
    const auto real = media_.Real(1, 0);
    RealDataFrames r = Reassemble(real, t_min, t_max);
    EXPECT_EQ(r.errors, "");
    std::size_t matched = 0;
    for (const auto& d : full) {
        FrameView v = ViewRecord(d.data);
        auto it = r.frames.find(v.frame_number);
        ASSERT_NE(it, r.frames.end()) << v.frame_number;
        EXPECT_TRUE(it->second.size() == v.data_bytes &&
                    std::memcmp(it->second.data(), v.data, v.data_bytes) == 0)
            << v.frame_number;
        ++matched;
    }
    EXPECT_EQ(matched, full.size());
    // The copies of the first fragments keep the device's fragment count.
    for (const auto& d : real) {
        if (!IsVideo(d) || d.data[6 + 6] != 0) continue;
        const uint32_t total = Le32(d.data.data() + 6 + 12);
        EXPECT_EQ(d.data[6 + 7], (total + 699) / 700);
        break;
    }

    // Audio: prefix and the whole message, to both callbacks.
    const auto audio = media_.Full(1, 0, 1);
    ASSERT_GE(audio.size(), 10u);
    for (const auto& d : audio) {
        ASSERT_TRUE(IsAudio(d));
        EXPECT_EQ(d.data.size(), 6u + 24 + 4 + 320);
        EXPECT_EQ(d.frame_type, d.data[6]);
        EXPECT_EQ(d.data[6 + 1], 0);
        EXPECT_EQ(Le16(d.data.data() + 6 + 22), 324);
    }
    std::size_t raw_audio = 0;
    for (const auto& d : real) raw_audio += IsAudio(d);
    EXPECT_EQ(raw_audio, audio.size());
}

TEST_F(Live, ChannelsOpenedOnAConnectedStreamStartWithTheirFirstFrame) {
    auto cfg = SmallDevice(1, 4);
    cfg.fragment_bytes = 128;  // long frames: a wide window for a race at the start
    ASSERT_TRUE(StartDevices({cfg}, true));
    ASSERT_TRUE(Login(0, 9));
    ASSERT_TRUE(PlayData(9, 0, 2));
    for (int ch = 1; ch < 4; ++ch) {
        ClientInfo ci = DataRequest(ch, 0, 0x100u + ch);
        ASSERT_EQ(ZYNVS_RealPlay(9, &ci), 1);
    }
    for (int ch = 0; ch < 4; ++ch) ASSERT_TRUE(media_.WaitFull(9, ch, 5, 5000)) << ch;
    ASSERT_EQ(ZYNVS_StopRealPlay(9, 0), 1);
    for (int ch = 0; ch < 4; ++ch) {
        auto full = media_.Full(9, ch);
        ASSERT_FALSE(full.empty());
        EXPECT_EQ(ViewRecord(full.front().data).frame_number, 0u) << "channel " << ch;
        EXPECT_EQ(CompareWithSent(full, Dev(), ch, 0), "") << "channel " << ch;
    }
}

TEST_F(Live, SubStreamSentAsChannelFourIsChannelZerosSubStream) {
    auto cfg = SmallDevice(1, 2);
    cfg.sub_as_channel_four = true;
    ASSERT_TRUE(StartDevices({cfg}, true));
    Dev().SetSubStreamAsChannelFour(true);
    ASSERT_TRUE(Login(0, 2));
    ASSERT_TRUE(PlayData(2, 0, 20, /*kind=*/1));
    ASSERT_EQ(ZYNVS_StopRealPlay(2, 0), 1);
    const auto full = media_.Full(2, 0, 0);
    for (const auto& d : full) {
        FrameView v = ViewRecord(d.data);
        EXPECT_EQ(v.channel, 0);
        EXPECT_EQ(v.kind, 1);
    }
    std::size_t checked = 0;
    EXPECT_EQ(CompareWithSent(full, Dev(), 0, 1, &checked), "");
    EXPECT_GE(checked, 20u);
    EXPECT_EQ(media_.FullCount(2, 4), 0u);
    for (const auto& d : media_.Real(2, 0)) {
        EXPECT_EQ(d.data[6 + 1], 0);
        EXPECT_EQ(d.data[6 + 3], 1);
    }
    EXPECT_EQ(media_.RealCount(2, 4), 0u);
}

TEST_F(Live, StoppingTheLastStreamClosesTheStreamConnection) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 2)}));
    ASSERT_TRUE(Login(0, 3));
    ASSERT_TRUE(PlayData(3, 0));
    ASSERT_TRUE(PlayData(3, 1));
    const uint64_t from = Log().NextSequence();
    ASSERT_EQ(ZYNVS_StopRealPlay(3, 0), 1);
    auto stop = Log().WaitForCommand(0x0201, 2000, -1, from);
    ASSERT_TRUE(stop);
    // Kind 0, channel 0, open flag 0, the channel's link value.
    EXPECT_EQ(Hex(stop->payload), "00 00 00 00 00 01 00 00 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(MoreFrames(3, 1, 10)) << "the other channel goes on";
    EXPECT_EQ(events_.CountBoth("stream connection", "closed by the client"), 0);
    const std::size_t ch0 = media_.FullCount(3, 0);

    ASSERT_EQ(ZYNVS_StopRealPlay(3, 1), 1);
    EXPECT_TRUE(WaitUntil(
        [&] { return events_.CountBoth("stream connection", "closed by the client") == 1; }, 2000))
        << events_.All();
    EXPECT_LE(media_.FullCount(3, 0), ch0 + 1);
    // Stopped channels are not restored after a reconnect.
    const std::size_t before = msgs_.Size();
    Dev().CloseControlConnections();
    ASSERT_TRUE(msgs_.WaitFor(3, 1, 3000, before));
    const uint64_t relogin = Log().NextSequence();
    EXPECT_TRUE(WaitUntil([&] { return Log().Count(0x0103) > 3; }, 2000));
    EXPECT_FALSE(Log().WaitForCommand(0x0201, 10 * tick_ms_, -1, relogin));
    EXPECT_EQ(msgs_.Count(3, 3), 0);
}

TEST_F(Live, HiddenDeviceStillGivesRawDataButNoCompleteFrames) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 4));
    ASSERT_TRUE(PlayData(4, 0));
    ASSERT_EQ(ZYNVS_HidePlay(4, 0), 1);
    const std::size_t full = media_.FullCount(4, 0);
    ASSERT_TRUE(media_.WaitReal(4, 0, media_.RealCount(4, 0) + 40, 5000));
    EXPECT_LE(media_.FullCount(4, 0), full + 1);
    ASSERT_EQ(ZYNVS_ShowPlay(4, 0), 1);
    EXPECT_TRUE(MoreFrames(4, 0, 10));
    EXPECT_EQ(ZYNVS_ShowPlay(4, 3), 0) << "channel above the count";
    EXPECT_EQ(ZYNVS_HidePlay(4, 3), 0);
}

TEST_F(Live, StreamRequestRefusedOrUnansweredOpensNothing) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 2)}));
    ASSERT_TRUE(Login(0, 5));
    Dev().AddReplyFault({0x0201, devsim::FaultAction::kResult, 4, 1});
    ClientInfo ci = DataRequest(0);
    EXPECT_EQ(ZYNVS_RealPlay(5, &ci), 0);
    Dev().AddReplyFault({0x0201, devsim::FaultAction::kDrop, 0, 1});
    const auto t0 = Clock::now();
    EXPECT_EQ(ZYNVS_RealPlay(5, &ci), 0);
    EXPECT_GE(Clock::now() - t0, 2900ms);
    // The dropped request still opened a stream at the device, but the SDK
    // took it as failed: no frames reach the callbacks.
    EXPECT_EQ(media_.FullCount(5, 0), 0u);
    // Channels at or above the count are refused without a request.
    const uint64_t from = Log().NextSequence();
    ClientInfo high = DataRequest(2);
    EXPECT_EQ(ZYNVS_RealPlay(5, &high), 0);
    EXPECT_EQ(ZYNVS_RealPlay(5, nullptr), 0);
    EXPECT_EQ(ZYNVS_RealPlay(999, &ci), 0);
    EXPECT_FALSE(Log().WaitForCommand(0x0201, 100, -1, from));
    // And a normal request works afterwards.
    EXPECT_TRUE(PlayData(5, 0));
}

TEST_F(Live, StreamSwitchRecordsTheMainStreamAndThenDeliversTheSubStream) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}, true));
    ASSERT_TRUE(Login(0, 6));
    TempDir dir;
    const std::string path = dir.File("switch.zyn");
    EXPECT_EQ(ZYNVS_StartLoclRecord(6, 0, path.c_str(), 0), 0);
    ASSERT_TRUE(PlayData(6, 0, 10));

    // A second data request for the same channel while its video is open
    // is a switch: it gives 0 and the main stream goes on to the recorder.
    ClientInfo sub = DataRequest(0, 1, 0x100);
    EXPECT_EQ(ZYNVS_RealPlay(6, &sub), 0);
    const std::size_t full_at_switch = media_.FullCount(6, 0);
    ASSERT_TRUE(media_.WaitReal(6, 0, media_.RealCount(6, 0) + 60, 5000));
    EXPECT_LE(media_.FullCount(6, 0), full_at_switch + 1);
    for (const auto& d : media_.Real(6, 0)) EXPECT_EQ(d.data[6 + 3], 0) << "sub fragments dropped";

    // Closing the main stream ends the switch: the sub stream is delivered.
    EXPECT_EQ(ZYNVS_StopRealPlayEx(6, 0, 0), 1);
    ASSERT_TRUE(WaitUntil(
        [&] {
            auto f = media_.Full(6, 0);
            return !f.empty() && ViewRecord(f.back().data).kind == 1 &&
                   f.size() > full_at_switch + 10;
        },
        5000));
    ASSERT_EQ(ZYNVS_StopRealPlay(6, 0), 1);
    EXPECT_EQ(ZYNVS_StopLoclRecord(6, 0), 0);

    std::vector<Delivery> subs;
    for (auto& d : media_.Full(6, 0))
        if (ViewRecord(d.data).kind == 1) subs.push_back(d);
    std::size_t checked = 0;
    EXPECT_EQ(CompareWithSent(subs, Dev(), 0, 1, &checked), "");
    EXPECT_GE(checked, 10u);

    // The file: every main frame from the start through the switch, then
    // the sub frames.
    Bytes f = ReadFile(path);
    ASSERT_GT(f.size(), 512u);
    std::vector<Delivery> mains, file_subs;
    std::size_t at = 512;
    while (at + 30 <= f.size()) {
        const uint32_t len = Le32(f.data() + at + 6 + 12);
        ASSERT_LE(at + 30 + len, f.size());
        Delivery d;
        d.data.assign(f.begin() + at, f.begin() + at + 30 + len);
        (ViewRecord(d.data).kind == 0 ? mains : file_subs).push_back(std::move(d));
        at += 30 + len;
    }
    EXPECT_EQ(at, f.size());
    EXPECT_EQ(CompareWithSent(mains, Dev(), 0, 0, &checked), "");
    EXPECT_GT(checked, full_at_switch + 5) << "main frames of the switch were recorded";
    EXPECT_EQ(ViewRecord(mains.front().data).frame_number, 0u);
    EXPECT_EQ(CompareWithSent(file_subs, Dev(), 0, 1), "");
}

}  // namespace
}  // namespace sdk_test
