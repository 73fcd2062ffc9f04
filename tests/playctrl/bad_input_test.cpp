// Bad recordings: truncated files, garbage between records, oversized and
// lying lengths, short headers, empty and random files. Played or skipped,
// never a crash or a read past the data.
#include <gtest/gtest.h>

#include <random>

#include <zynvs/ZynPlayCtrl.h>

#include "tests/playctrl/playctrl_test_util.h"

namespace {

using pc_test::Frame;
using pc_test::FrameLog;
using pc_test::RecordingBuilder;
using playctrl::PortTable;

class BadInputTest : public ::testing::Test {
protected:
    void SetUp() override { PortTable::Instance().Clear(); }
    void TearDown() override { PortTable::Instance().Clear(); }

    // Plays the bytes to the end without pacing; the numbers handed on.
    std::vector<uint32_t> PlayAll(const std::vector<uint8_t>& bytes, int* end_pos = nullptr) {
        const std::string path = dir_.Path("bad.zyn");
        EXPECT_TRUE(pc_test::WriteFile(path, bytes));
        const int p = ZYNVS_PlAY_OpenFile(0, path.c_str());
        EXPECT_GT(p, 0);
        if (p <= 0) return {};
        auto port = pc_test::Port(p);
        port->set_pacing(false);
        FrameLog log;
        log.Attach(*port);
        ZYNVS_PlAY_Play(p, 0);
        EXPECT_TRUE(port->WaitPlaybackEnded(10000));
        if (end_pos) *end_pos = ZYNVS_PlAY_GetPlayPos(p);
        ZYNVS_PlAY_Destory(p);
        std::vector<uint32_t> out;
        for (const auto& f : log.frames()) out.push_back(f.number);
        return out;
    }

    pc_test::TempDir dir_;
};

TEST_F(BadInputTest, TruncatedFilesPlayTheRecordsThatAreWhole) {
    RecordingBuilder b;
    b.Header(1000, 1010);
    std::vector<std::size_t> ends;  // end offset of each record
    for (uint32_t i = 0; i < 12; ++i) {
        pc_test::VideoRecord r =
            Frame(i, i % 4 == 0 ? 7 : 8, 1000, 0,
                  pc_test::FillerPayload(20 + 13 * i, static_cast<uint8_t>(i)));
        r.extension = i % 3 == 0;
        b.Video(r);
        ends.push_back(b.size());
    }
    const auto full = b.bytes();
    // Every cut inside the first records, coarser further on.
    for (std::size_t cut = 0; cut <= full.size(); cut += (cut < 480 ? 32 : cut < 640 ? 1 : 7)) {
        std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(cut));
        std::vector<uint32_t> expected;
        for (uint32_t i = 0; i < 12; ++i) {
            if (ends[i] <= cut) expected.push_back(i);
        }
        int pos = -1;
        EXPECT_EQ(PlayAll(part, &pos), expected) << "cut at " << cut;
        if (cut > 0) {
            EXPECT_EQ(pos, 100) << "cut at " << cut;
        }
    }
}

TEST_F(BadInputTest, GarbageBetweenRecordsIsSkipped) {
    RecordingBuilder b;
    b.Header(1000, 1010);
    const std::vector<std::vector<uint8_t>> garbage = {
        {'X'},
        {'X', 'C'},
        {'X', 'C', 'X'},
        {'X', 'X', 'C', 'X'},
        {'X', 'C', 'X', 'C'},
        {'X', 'C', 'X', 'B', 'Q', 0},  // a prefix of another kind
        {'X', 'C', 'X', 'B', 'V'},     // cut short: its "header" swallows the next prefix
        {0, 1, 2, 'C', 'X', 'B', 0xFF}};
    uint32_t n = 0;
    std::vector<uint32_t> expected;
    for (std::size_t g = 0; g < garbage.size(); ++g) {
        b.Video(Frame(n, 7, 1000, 0, pc_test::FillerPayload(40)));
        if (g != 7) expected.push_back(n);  // the record after the cut-short prefix is lost
        ++n;
        b.Raw(garbage[g]);
    }
    b.Video(Frame(n, 7, 1000, 0, pc_test::FillerPayload(40)));
    expected.push_back(n);
    EXPECT_EQ(PlayAll(b.bytes()), expected);
}

TEST_F(BadInputTest, OversizedPayloadLengthsAreSkipped) {
    RecordingBuilder b;
    b.Header(1000, 1010);
    b.Video(Frame(0, 7, 1000, 0, pc_test::FillerPayload(30)));
    for (int64_t claimed : {int64_t{1024000}, int64_t{2000000}, int64_t{0xFFFFFFFF}}) {
        pc_test::VideoRecord liar = Frame(1, 7, 1000, 0, pc_test::FillerPayload(60));
        liar.total_length_override = claimed;
        b.Video(liar);
    }
    b.Video(Frame(2, 7, 1000, 0, pc_test::FillerPayload(30)));
    // A payload of 1,023,999 bytes is the largest accepted.
    b.Video(Frame(3, 7, 1000, 0, pc_test::FillerPayload(1023999)));
    EXPECT_EQ(PlayAll(b.bytes()), (std::vector<uint32_t>{0, 2, 3}));
}

TEST_F(BadInputTest, FragmentedRecordsAreReassembled) {
    RecordingBuilder b;
    b.Header(1000, 1010);
    for (uint8_t k = 0; k < 3; ++k) {
        pc_test::VideoRecord r = Frame(7, 7, 1000, 0, pc_test::FillerPayload(100));
        r.fragment_index = k;
        r.fragment_count = 3;
        r.total_length_override = 300;  // not used: the fragment length counts
        b.Video(r);
    }
    pc_test::VideoRecord never = Frame(8, 7, 1000, 0, pc_test::FillerPayload(10));
    never.fragment_count = 0;  // never completes
    b.Video(never);
    EXPECT_EQ(PlayAll(b.bytes()), (std::vector<uint32_t>{7}));
}

TEST_F(BadInputTest, ShortHeaderAndEmptyFile) {
    // The magic, but fewer than 512 bytes: no header, records from byte 0.
    RecordingBuilder b;
    b.Raw({'Z', 'Y', 'N', 'I', 'P', 'C', 'F', 'H', 0, 0, 0, 1});
    b.Video(Frame(4, 7, 1000, 0, pc_test::FillerPayload(20)));
    EXPECT_EQ(PlayAll(b.bytes()), (std::vector<uint32_t>{4}));

    pc_test::NoticeRecorder notices;
    const std::string path = dir_.Path("empty.zyn");
    ASSERT_TRUE(pc_test::WriteFile(path, {}));
    const int p = ZYNVS_PlAY_OpenFile(0, path.c_str());
    ASSERT_GT(p, 0);
    ZYNVS_PlAY_SetFileEndMsg(p, 5, 6);
    ZYNVS_PlAY_SetPlayPos(p, 50);  // file size 0: nothing
    EXPECT_EQ(ZYNVS_PlAY_Play(p, 0), 1);
    ASSERT_TRUE(pc_test::Port(p)->WaitPlaybackEnded(10000));
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(p), 0);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayTime(p), 0u);
    EXPECT_EQ(notices.count(), 1u);
    ZYNVS_PlAY_OneByOneBack(p);
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(p, 0, 0), 1);
}

TEST_F(BadInputTest, RandomRecordingsWithRandomControl) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 30; ++round) {
        RecordingBuilder b;
        if (rng() % 4) b.Header(1000, 1000 + rng() % 3, rng() % 3 == 0 ? rng() % 5000 : 0);
        const int records = 5 + static_cast<int>(rng() % 40);
        for (int i = 0; i < records; ++i) {
            switch (rng() % 5) {
                case 0:
                    b.Audio(i, pc_test::FillerPayload(rng() % 300));
                    break;
                case 1: {
                    std::vector<uint8_t> junk(rng() % 64);
                    for (auto& x : junk) x = static_cast<uint8_t>("XCBVA\0\x07\x03"[rng() % 8]);
                    b.Raw(junk);
                    break;
                }
                default: {
                    pc_test::VideoRecord r = Frame(
                        static_cast<uint32_t>(i), rng() % 3 ? 8 : 7, 1000 + rng() % 3,
                        static_cast<uint16_t>(rng() % 1000), pc_test::FillerPayload(rng() % 500));
                    r.extension = rng() % 4 == 0;
                    r.fragment_count = static_cast<uint8_t>(rng() % 4 ? 1 : rng() % 4);
                    r.fragment_index = static_cast<uint8_t>(rng() % 3);
                    if (rng() % 6 == 0) r.total_length_override = rng();
                    b.Video(r);
                }
            }
        }
        // Flip a few bytes anywhere.
        auto& bytes = b.bytes();
        for (int k = 0; k < 5 && !bytes.empty(); ++k)
            bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(rng());
        const std::string path = dir_.Path("r" + std::to_string(round) + ".zyn");
        ASSERT_TRUE(pc_test::WriteFile(path, bytes));
        const int p = ZYNVS_PlAY_OpenFile(0, path.c_str());
        ASSERT_GT(p, 0);
        auto port = pc_test::Port(p);
        port->set_pacing(false);
        ZYNVS_PlAY_Play(p, 0);
        for (int op = 0; op < 8; ++op) {
            switch (rng() % 8) {
                case 0:
                    ZYNVS_PlAY_SetPlayPos(p, static_cast<int>(rng() % 120) - 10);
                    break;
                case 1:
                    ZYNVS_PlAY_OneByOneBack(p);
                    break;
                case 2:
                    ZYNVS_PlAY_OneByOne(p);
                    break;
                case 3:
                    ZYNVS_PlAY_Pause(p, 0);
                    break;
                case 4:
                    ZYNVS_PlAY_SetPlayByTime(p, 1000 + rng() % 3, 0);
                    break;
                case 5:
                    ZYNVS_PlAY_GetPlayTime(p);
                    break;
                case 6:
                    ZYNVS_PlAY_Play(p, 0);
                    break;
                case 7:
                    ZYNVS_PlAY_Fast(p);
                    break;
            }
        }
        const int pos = ZYNVS_PlAY_GetPlayPos(p);
        EXPECT_GE(pos, 0);
        EXPECT_LE(pos, 100);
        EXPECT_EQ(ZYNVS_PlAY_Stop(p), 1);
        EXPECT_FALSE(port->thread_alive());
        ZYNVS_PlAY_Destory(p);
    }
}

}  // namespace
