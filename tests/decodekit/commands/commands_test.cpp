// Control commands against the emulator: PTZ, remote recording, serial data,
// alarms, reboot, upgrade, record-file query and replay, key frames, the
// pass-through request and talk.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <ostream>
#include <cstring>
#include <thread>

#include "tests/decodekit/sdk_support/sdk_fixture.h"
#include "tools/devsim/g711.h"
#include "tools/devsim/protocol.h"

namespace sdk_test {
namespace {

using namespace std::chrono_literals;

class Commands : public SdkTest {
protected:
    void SetUpDevice(int channels = 4) {
        ASSERT_TRUE(StartDevices({SmallDevice(1, channels)}));
        ASSERT_TRUE(Login(0, 1));
    }
    std::optional<devsim::ReceivedMessage> Next(uint16_t command, uint64_t from) {
        return Log().WaitForCommand(command, 2000, -1, from);
    }
};

TEST_F(Commands, PtzRemoteRecordAlarmAndKeyFrameBytes) {
    SetUpDevice();
    uint64_t from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_PTZControl(1, 2, 0x15, 5, 0), 1);
    auto ptz = Next(0x0401, from);
    ASSERT_TRUE(ptz);
    EXPECT_EQ(Hex(ptz->payload), "15 05 00 02");
    ASSERT_EQ(Dev().PtzCommands().size(), 1u);
    EXPECT_EQ(Dev().PtzCommands()[0], (std::array<uint8_t, 4>{0x15, 5, 0, 2}));
    Dev().AddReplyFault({0x0401, devsim::FaultAction::kResult, 4, 1});
    EXPECT_EQ(ZYNVS_PTZControl(1, 0, 1, 1, 0), 0);

    // Start and stop send the same message: the record's first word says which.
    uint32_t word[2] = {0x00000301, 0xFFFFFFFF};
    from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_StartRemoteManRecord(1, 77, word), 1);
    auto start = Next(0x0405, from);
    ASSERT_TRUE(start);
    EXPECT_EQ(ZYNVS_StopRemoteManRecord(1, 78, word), 1);
    auto stop = Next(0x0405, start->sequence + 1);
    ASSERT_TRUE(stop);
    EXPECT_EQ(Hex(start->raw), Hex(stop->raw));
    EXPECT_EQ(Hex(start->payload), "01 03 00 00");
    EXPECT_EQ(Dev().RemoteRecordWords(), (std::vector<uint32_t>{0x301, 0x301}));
    EXPECT_EQ(ZYNVS_StartRemoteManRecord(1, 0, nullptr), 0);

    uint32_t alarm = 0xA1B2C3D4;
    from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_ClearAlarm(1, 3, &alarm), 1);
    auto clear = Next(0x0528, from);
    ASSERT_TRUE(clear);
    EXPECT_EQ(Hex(clear->payload), "03 00 00 00 d4 c3 b2 a1");
    EXPECT_EQ(Dev().ClearedAlarms().at(0), (std::pair<int, uint32_t>{3, 0xA1B2C3D4}));
    EXPECT_EQ(ZYNVS_ClearAlarm(1, 0, nullptr), 0);

    // The key-frame request does not wait and is not held up by a waiting
    // request.
    Dev().AddReplyFault({0x0501, devsim::FaultAction::kDelay, 800, 1});
    std::thread waiter([] {
        uint8_t base[88];
        ZYNVS_GetBaseParam(1, base);
    });
    ASSERT_TRUE(Log().WaitForCommand(0x0501, 2000));
    from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_MakeKeyFrame(1, 2), 12) << "bytes put on the wire";
    auto key = Next(0x0203, from);
    ASSERT_TRUE(key);
    EXPECT_EQ(Hex(key->payload), "02 00 00 00");
    waiter.join();
    EXPECT_EQ(ZYNVS_MakeKeyFrame(99, 0), 0);
}

TEST_F(Commands, SerialDataUpTo1396BytesAndTheReplyResult) {
    SetUpDevice();
    Bytes data = Pattern(1396, 4);
    uint64_t from = Log().NextSequence();
    // The result is the device's result word (0 when it took the data).
    EXPECT_EQ(ZYNVS_SerialSend(1, 2, data.data(), 1396), 0);
    auto m = Next(0x0406, from);
    ASSERT_TRUE(m);
    ASSERT_EQ(m->payload.size(), 1400u);
    EXPECT_EQ(Hex(m->payload.data(), 4), "74 05 02 00");
    EXPECT_TRUE(std::equal(data.begin(), data.end(), m->payload.begin() + 4));
    EXPECT_EQ(Dev().SerialData().back(), data);
    Dev().AddReplyFault({0x0406, devsim::FaultAction::kResult, 7, 1});
    EXPECT_EQ(ZYNVS_SerialSend(1, 2, data.data(), 10), 7);

    // Too long, negative, null: refused, nothing sent.
    const std::size_t sent = Log().Count(0x0406);
    Bytes long_data(1397, 1);
    EXPECT_EQ(ZYNVS_SerialSend(1, 2, long_data.data(), 1397), 0);
    EXPECT_EQ(ZYNVS_SerialSend(1, 2, long_data.data(), -1), 0);
    EXPECT_EQ(ZYNVS_SerialSend(1, 2, nullptr, 5), 0);
    uint8_t base[88];
    EXPECT_EQ(ZYNVS_GetBaseParam(1, base), 1);  // a later message, to be sure nothing came before
    EXPECT_EQ(Log().Count(0x0406), sent);
    // No reply: 0 after the time-out.
    Dev().AddReplyFault({0x0406, devsim::FaultAction::kDrop, 0, 1});
    EXPECT_EQ(ZYNVS_SerialSend(1, 2, data.data(), 3), 0);
}

TEST_F(Commands, UpgradeImageOfSeveralChunksArrivesIntact) {
    SetUpDevice(1);
    const Bytes image = Pattern(5000, 77);
    const uint32_t crc = zyn::wire::Crc32(image.data(), image.size());
    uint8_t request[72] = {};
    zyn::wire::MutableUpgradeRequest(request).set_image_bytes(5000);
    zyn::wire::MutableUpgradeRequest(request).set_crc32(crc);
    zyn::wire::MutableUpgradeRequest(request).set_chunk_bytes(1020);
    std::memcpy(zyn::wire::MutableUpgradeRequest(request).file_name(), "fw.bin", 6);
    uint64_t from = Log().NextSequence();
    ASSERT_EQ(ZYNVS_UpdateRequest(1, 0, request), 1);
    auto req = Next(0x0104, from);
    ASSERT_TRUE(req);
    EXPECT_EQ(req->payload, Bytes(request, request + 72));

    // A chunk above 1020 bytes is refused before anything is sent.
    Bytes too_big(1021, 0);
    uint8_t header[4] = {0, 0, 0, 0};
    PutLe16(header + 2, 1021);
    const std::size_t chunks_before = Log().Count(0x0105);
    EXPECT_EQ(ZYNVS_UpdateFile(1, 0, header, too_big.data()), 0);
    EXPECT_EQ(Log().Count(0x0105), chunks_before);

    int sent = 0;
    for (std::size_t at = 0; at < image.size(); at += 1020) {
        const std::size_t n = std::min<std::size_t>(1020, image.size() - at);
        PutLe16(header, static_cast<uint16_t>(sent));
        PutLe16(header + 2, static_cast<uint16_t>(n));
        from = Log().NextSequence();
        ASSERT_EQ(ZYNVS_UpdateFile(1, 0, header, const_cast<uint8_t*>(image.data() + at)), 1)
            << sent;
        auto chunk = Next(0x0105, from);
        ASSERT_TRUE(chunk);
        EXPECT_EQ(chunk->payload.size(), n + 4);
        EXPECT_EQ(Hex(chunk->payload.data(), 4), Hex(header, 4));
        ++sent;
    }
    EXPECT_EQ(sent, 5);
    devsim::UpgradeStatus st = Dev().Upgrade();
    EXPECT_TRUE(st.complete);
    EXPECT_FALSE(st.failed);
    EXPECT_EQ(st.chunks, 5u);
    EXPECT_EQ(st.image, image);

    // A device that refuses a chunk makes UpdateFile give 0.
    ASSERT_EQ(ZYNVS_UpdateRequest(1, 0, request), 1);
    Dev().AddReplyFault({0x0105, devsim::FaultAction::kResult, 8, 1});
    PutLe16(header + 2, 100);
    EXPECT_EQ(ZYNVS_UpdateFile(1, 0, header, const_cast<uint8_t*>(image.data())), 0);
}

TEST_F(Commands, RebootIsSentAndTheSessionComesBack) {
    auto cfg = SmallDevice(1, 1);
    cfg.reboot_delay_ms = 300;
    ASSERT_TRUE(StartDevices({cfg}));
    ASSERT_TRUE(Login(0, 1));
    const std::size_t before = msgs_.Size();
    uint64_t from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_RebootDevice(1), 1);
    auto m = Next(0x0404, from);
    ASSERT_TRUE(m);
    EXPECT_EQ(Hex(m->raw), "11 11 04 04 00 00 00 00");
    EXPECT_TRUE(Dev().WaitUntilUp(1, 5000));
    std::size_t at2 = 0;
    ASSERT_TRUE(msgs_.WaitFor(1, 2, 5000, before, &at2));
    EXPECT_TRUE(msgs_.WaitFor(1, 1, 10000, at2)) << "logged in again after the reboot";
    ASSERT_TRUE(WaitUntil([&] { return Dev().IsUp() && Dev().LoggedInSessions() == 1; }, 5000));
    // A reboot without an answer fails after the time-out.
    Dev().AddReplyFault({0x0404, devsim::FaultAction::kDrop, 0, 1});
    // (the device still reboots: the lost connection ends the wait, as a
    // failure, not the answer to the next login).
    ASSERT_TRUE(msgs_.WaitFor(1, 1, 10000, at2));
    EXPECT_EQ(ZYNVS_RebootDevice(1), 0);
}

struct EntryLog {
    std::mutex mutex;
    std::vector<Bytes> entries;
    std::vector<int> last;
    static void ZYNVS_CALL Callback(void* entry, int last, void* user) {
        auto* self = static_cast<EntryLog*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        auto* p = static_cast<uint8_t*>(entry);
        self->entries.emplace_back(p, p + 144);
        self->last.push_back(last);
    }
    std::size_t Size() {
        std::lock_guard<std::mutex> lock(mutex);
        return entries.size();
    }
};

TEST_F(Commands, RecordQueryInTwoAnswersAndReplayOfAFile) {
    SetUpDevice();
    ASSERT_EQ(Dev().RecordFiles().size(), 6u);
    EntryLog log;
    uint8_t query[36] = {};
    zyn::wire::MutableRecordQuery(query).set_channel(0xFF);
    uint64_t from = Log().NextSequence();
    const auto t0 = Clock::now();
    EXPECT_EQ(ZYNVS_QueryRecInfo(1, query, &EntryLog::Callback, &log), 1);
    EXPECT_LT(Clock::now() - t0, 500ms) << "the query does not wait";
    auto q = Next(0x0204, from);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->payload, Bytes(query, query + 36));
    ASSERT_TRUE(WaitUntil([&] { return log.Size() >= 6; }, 3000));
    ASSERT_EQ(log.Size(), 6u);
    EXPECT_EQ(log.last, (std::vector<int>{0, 0, 0, 0, 0, 1}));
    const auto files = Dev().RecordFiles();
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(log.entries[i].data())), files[i].name);
        EXPECT_EQ(zyn::wire::RecordEntry(log.entries[i].data()).index(), files[i].index);
    }
    EXPECT_EQ(ZYNVS_QueryRecInfo(1, nullptr, &EntryLog::Callback, &log), 0);

    // Replay and fetch of a listed file: the 152-byte descriptor as given.
    Bytes desc(152, 0);
    std::copy(log.entries[2].begin(), log.entries[2].end(), desc.begin());
    zyn::wire::MutableRecordEntry(desc.data()).set_action(1);
    zyn::wire::MutableRecordEntry(desc.data()).set_offset(4096);
    from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_PlayRecInfo(1, desc.data()), 1);
    EXPECT_EQ(ZYNVS_DownRemoteFile(1, desc.data()), 1);
    ASSERT_EQ(Dev().RecordFileRequests().size(), 2u);
    EXPECT_EQ(Dev().RecordFileRequests()[0], desc);
    EXPECT_EQ(Dev().RecordFileRequests()[1], desc);
    EXPECT_EQ(Log().Count(0x0206), 2u);

    // A file the device does not have: the device says so, and so must we
    // (even though the request before succeeded).
    uint8_t base[88];
    ASSERT_EQ(ZYNVS_GetBaseParam(1, base), 1);
    Bytes missing = desc;
    zyn::wire::MutableRecordEntry(missing.data()).set_index(999);
    EXPECT_EQ(ZYNVS_PlayRecInfo(1, missing.data()), 0);
    EXPECT_EQ(ZYNVS_DownRemoteFile(1, missing.data()), 0);
    EXPECT_EQ(ZYNVS_PlayRecInfo(1, nullptr), 0);
}

TEST_F(Commands, TransInfoWaitMismatchMatchAndRefusal) {
    SetUpDevice();
    // Without waiting: 0 at once, the message is out.
    uint8_t prefix[4] = {1, 0, 0, 0};
    uint64_t from = Log().NextSequence();
    const auto t0 = Clock::now();
    EXPECT_EQ(ZYNVS_TransInfo(1, 0x0503, 0x8503, prefix, 4, 0, nullptr, 0, 3000), 0);
    EXPECT_LT(Clock::now() - t0, 200ms);
    auto m = Next(0x0503, from);
    ASSERT_TRUE(m);
    EXPECT_EQ(Hex(m->payload), "01 00 00 00");

    // Expected reply mismatch: 0, nothing copied.
    uint8_t buf[200];
    std::memset(buf, 0x99, sizeof buf);
    EXPECT_EQ(ZYNVS_TransInfo(1, 0x0501, 0x8502, nullptr, 0, 1, buf, sizeof buf, 1000), 0);
    EXPECT_EQ(buf[0], 0x99);

    // Match: the reply payload up to the buffer size.
    EXPECT_EQ(ZYNVS_TransInfo(1, 0x0501, 0x8501, nullptr, 0, 1, buf, sizeof buf, 1000), 92);
    EXPECT_EQ(Hex(buf, 4), "00 00 00 00");
    EXPECT_EQ(Hex(buf + 4, 88), Hex(Dev().Param(0x0501)));
    uint8_t small[10];
    EXPECT_EQ(ZYNVS_TransInfo(1, 0x0501, 0x8501, nullptr, 0, 1, small, sizeof small, 1000), 10);
    EXPECT_EQ(Hex(small + 4, 6), Hex(Dev().Param(0x0501).data(), 6));

    // A reply code that is not stored goes to the message callback; the
    // request gives 0 after its time-out.
    EXPECT_EQ(ZYNVS_TransInfo(1, 0x0999, 0x8999, nullptr, 0, 1, buf, sizeof buf, 300), 0);
    EXPECT_TRUE(msgs_.WaitFor(1, 0x8999, 1000));

    // Refused (-1) on a device that is not logged in, and for bad lengths.
    EXPECT_EQ(ZYNVS_TransInfo(1, 0x0501, 0x8501, nullptr, 5, 1, buf, sizeof buf, 300), -1);
    EXPECT_EQ(ZYNVS_TransInfo(1, 0x0501, 0x8501, buf, -1, 1, buf, sizeof buf, 300), -1);
    DeviceLoginInfo bad = LoginFor(Dev(), 2, 1, "admin", "nope");
    ASSERT_EQ(ZYNVS_Login(&bad), 0);
    EXPECT_EQ(ZYNVS_TransInfo(2, 0x0501, 0x8501, nullptr, 0, 1, buf, sizeof buf, 300), -1);
    EXPECT_EQ(ZYNVS_TransInfo(999, 0x0501, 0x8501, nullptr, 0, 1, buf, sizeof buf, 300), 0);
}

// Talk: the capture device reads a file of known samples (SDL's disk audio
// driver); every block must reach the device, in order, with its header.
struct TalkCase {
    const char* name;
    bool newer;  // login answered with the extended block
    int format;  // the device's audio format number
    bool a_law;  // what the blocks must carry
};

void PrintTo(const TalkCase& c, std::ostream* os) {
    *os << c.name;
}

class Talk : public Commands, public ::testing::WithParamInterface<TalkCase> {
protected:
    static std::vector<int16_t> Samples() {
        std::vector<int16_t> s(8000 * 2);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<int16_t>(static_cast<int>((i * 97) % 4001) * 8 - 16000);
        return s;
    }
};

TEST_P(Talk, BlocksArriveInOrderWithTheirHeaderAndTheCapturedSamples) {
    const TalkCase& tc = GetParam();
    TempDir dir;
    const auto samples = Samples();
    Bytes raw(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        PutLe16(raw.data() + 2 * i, static_cast<uint16_t>(samples[i]));
    ASSERT_TRUE(WriteFile(dir.File("mic.raw"), raw));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", dir.File("mic.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);

    auto cfg = SmallDevice(1, 1);
    cfg.newer = tc.newer;
    cfg.audio_format = tc.format;
    ASSERT_TRUE(StartDevices({cfg}));
    ASSERT_TRUE(Login(0, 1));
    EXPECT_EQ(ZYNVS_StopTalk(1), 0) << "not talking";
    ASSERT_TRUE(PlayData(1, 0, 1));  // talk goes out on the stream connection

    uint64_t from = Log().NextSequence();
    ASSERT_EQ(ZYNVS_StartTalk(1), 1);
    auto open = Next(0x0201, from);
    ASSERT_TRUE(open);
    // Kind 3, channel 0, open, TCP, channel 0's link value.
    EXPECT_EQ(Hex(open->payload.data(), 8), "03 00 01 00 00 01 00 00");
    EXPECT_EQ(ZYNVS_StartTalk(1), 0) << "already talking";
    ASSERT_TRUE(WaitUntil([&] { return Dev().TalkAudio().size() >= 12; }, 5000));
    from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_StopTalk(1), 1);
    auto close = Next(0x0201, from);
    ASSERT_TRUE(close);
    EXPECT_EQ(Hex(close->payload.data(), 4), "03 00 00 00");
    EXPECT_EQ(ZYNVS_StopTalk(1), 0);

    const auto blocks = Dev().TalkAudio();
    ASSERT_GE(blocks.size(), 12u);
    static bool first_in_process = true;
    const uint32_t seq0 = Le32(blocks[0].header + 8);
    if (first_in_process) {
        EXPECT_EQ(seq0, 0u) << "the library's first talk block";
    }
    first_in_process = false;
    Bytes codes;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const uint8_t* h = blocks[i].header;
        const std::size_t n = blocks[i].data.size();
        EXPECT_EQ(n, 324u);
        EXPECT_EQ(Hex(h, 8), "00 00 00 00 01 00 00 00") << i;
        EXPECT_EQ(Le32(h + 8), seq0 + i) << "consecutive sequence numbers";
        EXPECT_EQ(Le32(h + 12), n);
        EXPECT_EQ(Le16(h + 20), 0);
        EXPECT_EQ(Le16(h + 22), n);
        if (i > 0) {
            EXPECT_GE(Le32(h + 16), Le32(blocks[i - 1].header + 16)) << "tick count";
        }
        EXPECT_EQ(Hex(blocks[i].data.data(), 4), "00 01 a0 00") << i;
        codes.insert(codes.end(), blocks[i].data.begin() + 4, blocks[i].data.end());
    }
    // The blocks carry the file's samples from its start, G.711-coded.
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < codes.size() && i < samples.size(); ++i) {
        const uint8_t want =
            tc.a_law ? devsim::LinearToALaw(samples[i]) : devsim::LinearToMuLaw(samples[i]);
        mismatches += codes[i] != want;
    }
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, Talk,
                         ::testing::Values(TalkCase{"OlderLoginMuLaw", false, 2, false},
                                           TalkCase{"NewerLoginALaw", true, 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sdk_test
