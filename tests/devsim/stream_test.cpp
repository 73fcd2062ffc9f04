// Live streams: open, bind, key frame first, fragment headers and
// reassembly, sub stream and the channel-4 encoding, audio blocks, talk,
// UDP and multicast streams, and an independent decode with ffprobe/ffmpeg.
#include <cmath>
#include <cstring>
#include <fstream>

#include "tests/devsim/fixture.h"
#include "tools/devsim/g711.h"
#include "tools/devsim/test_pattern.h"

namespace devsim_test {
namespace {

class StreamTest : public EmulatorTest {
protected:
    // Logs in, opens (kind, channel) over TCP and binds a stream connection.
    void OpenAndBind(uint8_t kind, uint8_t channel, uint32_t link_value = 0) {
        if (ctl_.lost() || !dev().LoggedInSessions()) {
            ASSERT_TRUE(Login(ctl_, ctl_port()));
        }
        auto r = ctl_.Request(0x0201, StreamRequestPayload(kind, channel, 1, 0, link_value),
                              0x8201);
        ASSERT_TRUE(r);
        ASSERT_EQ(r->Result(), 0);
        key_ = r->Word();
        if (!str_open_) {
            ASSERT_TRUE(str_.Open(str_port()));
            str_open_ = true;
        }
        ASSERT_GT(str_.Send(0x0202, U32(key_)), 0);
    }
    LinkPeer ctl_, str_;
    bool str_open_ = false;
    uint16_t key_ = 0;
};

TEST_F(StreamTest, MainVideoStartsWithAKeyFrameAndCarriesEveryHeaderField) {
    devsim::Config c;
    c.keep_sent_frames = true;
    c.devices.push_back(SmallDevice());
    Start(c);
    OpenAndBind(0, 2, 0xABCD);
    EXPECT_NE(key_, 0);
    auto frames = CollectFrames(str_, 24, 5000);
    ASSERT_EQ(frames.size(), 24u);
    auto loop = dev().Loop(2, 0);
    ASSERT_TRUE(loop);
    auto sent = dev().SentFrames();
    ASSERT_GE(sent.size(), frames.size());
    uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        EXPECT_TRUE(f.consistent) << i << ": " << f.problem;
        EXPECT_EQ(f.channel(), 2);
        EXPECT_EQ(f.resolution(), 2);  // 352x288
        EXPECT_EQ(f.kind(), 0);
        EXPECT_EQ(f.number(), i);
        EXPECT_EQ(f.type(), i % 10 == 0 ? 7 : 8) << i;  // GOP of 10
        EXPECT_EQ(f.header[5], 0);
        EXPECT_NEAR(static_cast<double>(f.seconds()), now, 30.0);
        EXPECT_EQ(f.fragments, static_cast<int>((f.total() + 1023) / 1024));
        EXPECT_EQ(f.header[7], f.fragments);
        // Byte for byte the frame of the loop that the device says it sent.
        ASSERT_EQ(sent[i].frame_number, f.number());
        EXPECT_EQ(f.data, loop->frames[sent[i].loop_index].data) << i;
    }
    auto streams = dev().Streams();
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].link_value, 0xABCDu);
    EXPECT_TRUE(streams[0].running);
}

TEST_F(StreamTest, FragmentSizeIsConfigurable) {
    auto d = SmallDevice();
    d.fragment_bytes = 300;
    StartDevice(d);
    OpenAndBind(0, 0);
    std::vector<Frame> frames;
    Reassembler re(300);
    while (frames.size() < 3) {
        auto m = str_.WaitFor(0x0301, 3000);
        ASSERT_TRUE(m);
        EXPECT_LE(m->payload.size(), 24u + 300u);
        if (auto f = re.Feed(m->payload)) frames.push_back(*f);
    }
    for (auto& f : frames) EXPECT_TRUE(f.consistent) << f.problem;
}

TEST_F(StreamTest, SubStreamAndTheChannelFourEncoding) {
    StartDevice(SmallDevice());
    OpenAndBind(1, 0);
    auto frames = CollectFrames(str_, 2, 3000);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].kind(), 1);
    EXPECT_EQ(frames[0].channel(), 0);
    EXPECT_EQ(frames[0].resolution(), 1);  // 176x144
    EXPECT_EQ(frames[0].type(), 7);

    dev().SetSubStreamAsChannelFour(true);
    auto four = CollectFrames(str_, 2, 3000, 4, 1);
    ASSERT_EQ(four.size(), 2u);
    EXPECT_EQ(four[0].channel(), 4);
    EXPECT_EQ(four[0].kind(), 1);
}

TEST_F(StreamTest, TwoChannelsShareOneStreamConnection) {
    StartDevice(SmallDevice());
    OpenAndBind(0, 0);
    // The second channel reaches the bound connection even before its own bind.
    auto r = ctl_.Request(0x0201, StreamRequestPayload(0, 3, 1, 0), 0x8201);
    ASSERT_TRUE(r);
    EXPECT_NE(r->Word(), key_);
    auto ch3 = CollectFrames(str_, 2, 3000, 3, 0);
    ASSERT_EQ(ch3.size(), 2u);
    EXPECT_EQ(ch3[0].type(), 7);
    EXPECT_EQ(ch3[0].number(), 0u);
    auto ch0 = CollectFrames(str_, 2, 3000, 0, 0);
    EXPECT_EQ(ch0.size(), 2u);
    EXPECT_EQ(dev().Streams().size(), 2u);
}

TEST_F(StreamTest, KeyFrameRequestMakesTheNextFrameAKeyFrame) {
    auto d = SmallDevice();
    d.main.gop = 50;  // no key frame of its own within the test
    StartDevice(d);
    OpenAndBind(0, 1);
    auto first = CollectFrames(str_, 3, 3000);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[2].type(), 8);
    ASSERT_GT(ctl_.Send(0x0203, {1, 0, 0, 0}), 0);
    // Frames already in flight may be P frames; a key frame must follow soon.
    auto later = CollectFrames(str_, 8, 3000);
    bool key = false;
    for (auto& f : later) key |= f.type() == 7;
    EXPECT_TRUE(key);
    EXPECT_EQ(later[0].number(), first[2].number() + 1);  // numbering goes on
}

TEST_F(StreamTest, StreamsWaitForAKeyFrameRequestWhenConfigured) {
    auto d = SmallDevice();
    d.start_on_key_request = true;
    StartDevice(d);
    OpenAndBind(0, 0);
    EXPECT_TRUE(CollectFrames(str_, 1, 300).empty());  // nothing before 0x0203
    ctl_.Send(0x0203, {0, 0, 0, 0});
    auto frames = CollectFrames(str_, 1, 3000);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type(), 7);
}

TEST_F(StreamTest, ClosingAStreamStopsItAndAnswersWithItsKey) {
    StartDevice(SmallDevice());
    OpenAndBind(0, 0);
    ASSERT_EQ(CollectFrames(str_, 2, 3000).size(), 2u);
    auto r = ctl_.Request(0x0201, StreamRequestPayload(0, 0, 0, 0), 0x8201);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    EXPECT_EQ(r->Word(), key_);
    EXPECT_TRUE(dev().Streams().empty());
    // What was queued before the close may still arrive; after that, nothing.
    while (str_.WaitFor(0x0301, 200)) {
    }
    EXPECT_FALSE(str_.WaitFor(0x0301, 300));
    // Closing again is answered too (nothing is open).
    r = ctl_.Request(0x0201, StreamRequestPayload(0, 0, 0, 0), 0x8201);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    EXPECT_EQ(r->Word(), 0);
}

TEST_F(StreamTest, BadStreamRequestsAreRefused) {
    auto d = SmallDevice(1, 2);
    d.audio = false;
    StartDevice(d);
    ASSERT_TRUE(Login(ctl_, ctl_port()));
    struct Case {
        Bytes payload;
        uint16_t result;
    } cases[] = {
        {Bytes(15, 0), devsim::kResultBadLength},
        {StreamRequestPayload(0, 2, 1, 0), devsim::kResultBadArgument},  // channel 2 of 2
        {StreamRequestPayload(4, 0, 1, 0), devsim::kResultBadArgument},
        {StreamRequestPayload(0, 0, 1, 3), devsim::kResultBadArgument},
        {StreamRequestPayload(2, 0, 1, 0), devsim::kResultUnsupported},  // no audio
    };
    for (auto& c : cases) {
        auto r = ctl_.Request(0x0201, c.payload, 0x8201);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Result(), c.result);
    }
    // A bind with an unknown key is ignored; the connection stays usable.
    ASSERT_TRUE(str_.Open(str_port()));
    str_.Send(0x0202, U32(0x4242));
    str_.Send(0x0202, {1, 2});
    auto r = ctl_.Request(0x0201, StreamRequestPayload(0, 1, 1, 0), 0x8201);
    ASSERT_TRUE(r);
    str_.Send(0x0202, U32(r->Word()));
    EXPECT_EQ(CollectFrames(str_, 1, 3000).size(), 1u);
    EXPECT_FALSE(str_.lost());
}

TEST_F(StreamTest, AudioBlocksCarryTheToneWithTheAudioHeader) {
    StartDevice(SmallDevice());
    OpenAndBind(2, 1);
    for (int i = 0; i < 5; ++i) {
        auto m = str_.WaitFor(0x0302, 3000);
        ASSERT_TRUE(m);
        ASSERT_EQ(m->payload.size(), 24u + 4u + 320u);
        const Bytes& p = m->payload;
        EXPECT_EQ(p[0], 1);  // audio format number
        EXPECT_EQ(p[1], 1);  // channel
        EXPECT_EQ(p[3], 2);
        EXPECT_EQ(GetU32(p, 8), static_cast<uint32_t>(i));
        EXPECT_EQ(GetU32(p, 12), 324u);
        EXPECT_EQ(GetU16(p, 22), 324);
        EXPECT_EQ(p[24], 0x00);
        EXPECT_EQ(p[25], 0x01);
        EXPECT_EQ(GetU16(p, 26), 160);
        // 800 Hz on channel 1: ten periods of 10 samples in each block.
        int crossings = 0;
        for (size_t k = 29; k < p.size(); ++k) {
            int a = devsim::MuLawToLinear(p[k - 1]), b = devsim::MuLawToLinear(p[k]);
            crossings += (a < 0) != (b < 0);
        }
        EXPECT_NEAR(crossings, 64, 3);
    }
}

TEST_F(StreamTest, AudioFormatZeroHasNoAudioHeader) {
    auto d = SmallDevice();
    d.audio_format = 0;
    d.audio_codec = devsim::AudioCodec::kALaw;
    d.audio_block_samples = 160;
    StartDevice(d);
    OpenAndBind(2, 0);
    auto m = str_.WaitFor(0x0302, 3000);
    ASSERT_TRUE(m);
    ASSERT_EQ(m->payload.size(), 24u + 160u);
    EXPECT_EQ(m->payload[0], 0);
    EXPECT_EQ(GetU16(m->payload, 22), 160);
    EXPECT_EQ(m->payload[24], devsim::EncodedToneSecond(400, true)[0]);
}

TEST_F(StreamTest, TalkAudioIsKeptWhileTalkIsOpen) {
    StartDevice(SmallDevice());
    OpenAndBind(0, 0);
    Bytes block(24 + 100);
    block[4] = 1;
    block[22] = 100;
    for (int i = 0; i < 100; ++i) block[24 + i] = static_cast<uint8_t>(i);
    // Not open yet: ignored.
    str_.Send(0x0302, block);
    ASSERT_TRUE(emu_->log().WaitForCommand(0x0302, 2000));
    EXPECT_TRUE(dev().TalkAudio().empty());

    auto r = ctl_.Request(0x0201, StreamRequestPayload(3, 0, 1, 0), 0x8201);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    uint64_t from = emu_->log().NextSequence();
    str_.Send(0x0302, block);
    block[24] = 0xEE;
    str_.Send(0x0302, block);
    auto second = emu_->log().WaitFor(
        [](const devsim::ReceivedMessage& m) {
            return m.command == 0x0302 && m.payload.size() > 24 && m.payload[24] == 0xEE;
        },
        2000, from);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->link, devsim::Link::kStreamTcp);
    auto talk = dev().TalkAudio();
    ASSERT_EQ(talk.size(), 2u);
    EXPECT_EQ(talk[0].header[4], 1);
    EXPECT_EQ(talk[0].data.size(), 100u);
    EXPECT_EQ(talk[0].data[99], 99);
    EXPECT_EQ(talk[1].data[0], 0xEE);
}

TEST_F(StreamTest, UdpStreamAnswersTheEndpointThatBound) {
    StartDevice(SmallDevice());
    ASSERT_TRUE(Login(ctl_, ctl_port()));
    auto r = ctl_.Request(0x0201, StreamRequestPayload(0, 0, 1, 1), 0x8201);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->Result(), 0);
    LinkPeer udp(LinkPeer::kUdp);
    ASSERT_TRUE(udp.Open(str_port()));
    udp.Send(0x0202, U32(r->Word()));
    auto frames = CollectFrames(udp, 5, 5000);
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].type(), 7);
    for (auto& f : frames) EXPECT_TRUE(f.consistent) << f.problem;
    auto bind = emu_->log().WaitForCommand(0x0202, 1000);
    ASSERT_TRUE(bind);
    EXPECT_EQ(bind->link, devsim::Link::kStreamUdp);
}

uint32_t Ipv4(const char* text) {
    uint32_t a = 0;
    devsim::ParseIpv4(text, &a);
    return a;
}

TEST_F(StreamTest, MulticastStreamGoesToTheRequestedGroup) {
    if (!devsim::InPrivateNetworkNamespace())
        GTEST_SKIP() << "multicast only inside a private network namespace (scripts/test.sh)";
    StartDevice(SmallDevice());
    LinkPeer group(LinkPeer::kMcast);
    ASSERT_TRUE(group.Open(0, "239.255.42.17"));
    uint16_t port = group.LocalPort();
    ASSERT_NE(port, 0);
    ASSERT_TRUE(Login(ctl_, ctl_port()));
    auto r = ctl_.Request(0x0201, StreamRequestPayload(0, 1, 1, 2, 0, port, Ipv4("239.255.42.17")),
                          0x8201);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->Result(), 0);
    auto frames = CollectFrames(group, 3, 5000);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].type(), 7);
    EXPECT_EQ(frames[0].channel(), 1);
    // Audio of the same session follows the video to the group.
    r = ctl_.Request(0x0201, StreamRequestPayload(2, 1, 1, 0), 0x8201);
    ASSERT_TRUE(r);
    EXPECT_TRUE(group.WaitFor(0x0302, 3000));
    // A group address that is not multicast is refused.
    r = ctl_.Request(0x0201, StreamRequestPayload(0, 2, 1, 2, 0, port, Ipv4("127.0.0.1")),
                     0x8201);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultBadArgument);
}

TEST_F(StreamTest, MulticastIsRefusedOutsideAPrivateNamespace) {
    if (devsim::InPrivateNetworkNamespace()) GTEST_SKIP() << "inside a private namespace";
    StartDevice(SmallDevice());
    ASSERT_TRUE(Login(ctl_, ctl_port()));
    auto r = ctl_.Request(
        0x0201, StreamRequestPayload(0, 1, 1, 2, 0, 5000, Ipv4("239.255.42.17")), 0x8201);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), devsim::kResultUnsupported);
}

// Independent check: the frames a client reassembles are a valid H.264
// stream that ffprobe counts and ffmpeg decodes to the test picture.
TEST_F(StreamTest, FfmpegDecodesTheReceivedStream) {
    if (!HaveProgram("ffprobe") || !HaveProgram("ffmpeg"))
        GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    StartDevice(SmallDevice());
    OpenAndBind(0, 3);
    const int kFrames = 30;
    auto frames = CollectFrames(str_, kFrames, 8000);
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    std::string path = ArtifactDir() + "/devsim_received_ch3.h264";
    {
        std::ofstream out(path, std::ios::binary);
        for (auto& f : frames)
            out.write(reinterpret_cast<const char*>(f.data.data()),
                      static_cast<std::streamsize>(f.data.size()));
    }
    int status = 0;
    std::string probe = RunCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,nb_read_frames -of csv=p=0 " + path,
        &status);
    ASSERT_EQ(status, 0) << probe;
    EXPECT_EQ(probe, "h264,352,288," + std::to_string(kFrames) + "\n");

    std::string yuv = path + ".yuv";
    RunCommand("ffmpeg -v error -y -i " + path + " -f rawvideo -pix_fmt yuv420p " + yuv, &status);
    ASSERT_EQ(status, 0);
    std::ifstream in(yuv, std::ios::binary);
    const size_t frame_bytes = 352 * 288 * 3 / 2;
    std::vector<uint8_t> pic(frame_bytes);
    in.read(reinterpret_cast<char*>(pic.data()), frame_bytes);
    ASSERT_EQ(in.gcount(), static_cast<std::streamsize>(frame_bytes));
    auto layout = devsim::LayoutFor(352, 288);
    auto colour = devsim::ChannelColour(3);
    const auto& r = layout.background_probe;
    int cx = r.x + r.w / 2, cy = r.y + r.h / 2;
    EXPECT_NEAR(pic[cy * 352 + cx], colour.y, 6);
    EXPECT_NEAR(pic[352 * 288 + (cy / 2) * 176 + cx / 2], colour.u, 6);
    EXPECT_NEAR(pic[352 * 288 * 5 / 4 + (cy / 2) * 176 + cx / 2], colour.v, 6);
    const auto& w = layout.white_patch;
    EXPECT_NEAR(pic[(w.y + w.h / 2) * 352 + w.x + w.w / 2], devsim::kWhite.y, 8);
}

}  // namespace
}  // namespace devsim_test
