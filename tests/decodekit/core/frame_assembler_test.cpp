// The live frame assembler, fragment by fragment, in both buffer layouts.
#include "decodekit/core/frame_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zynvs/wire/layouts.h"

namespace {
using zyn::FrameAssembler;
namespace wire = zyn::wire;

struct Piece {
    uint8_t index;
    uint32_t total;
    uint16_t bytes;    // data bytes in the message
    int claimed = -1;  // length word; -1: the true length
    uint8_t frame_type = 8;
};

struct Case {
    const char* name;
    std::vector<Piece> pieces;
    std::string results;  // per piece: I ignored, P pending, C complete, D dropped
    int dropped;
    const char* bare_results = nullptr;  // where the bare layout differs
    int bare_dropped = 0;
};

std::vector<uint8_t> Fragment(const Piece& p, uint8_t fill) {
    std::vector<uint8_t> m(wire::kFragmentHeaderBytes + p.bytes, fill);
    const wire::MutableFragmentHeader h(m.data());
    std::fill(m.begin(), m.begin() + wire::kFragmentHeaderBytes, 0);
    h.set_fragment_index(p.index);
    h.set_total_length(p.total);
    h.set_frame_type(p.frame_type);
    h.set_fragment_count(9);
    h.set_fragment_length(static_cast<uint16_t>(p.claimed >= 0 ? p.claimed : p.bytes));
    return m;
}

constexpr std::size_t kCapacity = 1000;

const Case kCases[] = {
    {"one fragment", {{0, 10, 10}}, "C", 0},
    {"three fragments", {{0, 25, 10}, {1, 25, 10}, {2, 25, 5}}, "PPC", 0},
    {"empty frame", {{0, 0, 0}}, "C", 0},
    {"past the total", {{0, 15, 10}, {1, 15, 10}, {2, 15, 5}}, "PDI", 1},
    {"out of order", {{0, 30, 10}, {2, 30, 10}, {1, 30, 10}}, "PDI", 1},
    {"repeated", {{0, 20, 10}, {0, 20, 10}, {1, 20, 10}}, "PPC", 1},
    {"missing start", {{1, 20, 10}, {2, 20, 10}, {0, 5, 5}}, "IIC", 0},
    {"lying length word is cut", {{0, 12, 12, 60000}}, "C", 0},
    {"short length word", {{0, 12, 10, 6}, {1, 12, 6}}, "PC", 0},
    {"last fragment lost", {{0, 20, 10}, {0, 5, 5}}, "PC", 1},
    // 30 + 971 > 1000 in the record layout, fits bare; 970 fits both.
    {"too big for the record buffer", {{0, 971, 971}, {0, 970, 970}}, "DC", 1, "CC", 0},
    {"too big for both", {{0, 1001, 500}, {1, 1001, 501}}, "DI", 1},
};

class LiveFrameAssembler : public ::testing::TestWithParam<FrameAssembler::Layout> {};

TEST_P(LiveFrameAssembler, FollowsEachScript) {
    const auto layout = GetParam();
    const bool record = layout == FrameAssembler::Layout::kRecord;
    const std::size_t head = record ? wire::kFrameRecordHeaderBytes : 0;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::atomic<uint64_t> dropped{0};
        FrameAssembler a(kCapacity, layout, &dropped);
        std::string results;
        std::vector<uint8_t> expected, first_header;
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            const Piece& p = c.pieces[i];
            const auto m = Fragment(p, static_cast<uint8_t>(0x40 + i));
            if (p.index == 0) {
                expected.clear();
                first_header.assign(m.begin(), m.begin() + wire::kFragmentHeaderBytes);
            }
            const std::size_t n = std::min<std::size_t>(
                p.claimed >= 0 ? static_cast<std::size_t>(p.claimed) : p.bytes, p.bytes);
            expected.insert(expected.end(), m.begin() + wire::kFragmentHeaderBytes,
                            m.begin() + wire::kFragmentHeaderBytes + n);
            const auto r = a.Add(m.data(), m.size());
            results += "IPCD"[static_cast<int>(r)];
            if (r != FrameAssembler::Result::kComplete) continue;
            ASSERT_EQ(a.frame_bytes(), head + expected.size());
            EXPECT_EQ(a.data_bytes(), expected.size());
            EXPECT_EQ(std::vector<uint8_t>(a.frame() + head, a.frame() + a.frame_bytes()),
                      expected);
            if (record) {
                EXPECT_EQ(std::string(reinterpret_cast<char*>(a.frame()), 6),
                          std::string(ZYNVS_VIDEO_PREFIX) + '\0');
                EXPECT_EQ(std::vector<uint8_t>(a.frame() + 6, a.frame() + 30), first_header);
            }
        }
        const bool bare_differs = !record && c.bare_results;
        EXPECT_EQ(results, bare_differs ? c.bare_results : c.results);
        EXPECT_EQ(dropped.load(), static_cast<uint64_t>(bare_differs ? c.bare_dropped : c.dropped));
    }
}

TEST_P(LiveFrameAssembler, ResetForgetsTheOpenFrameWithoutCountingIt) {
    std::atomic<uint64_t> dropped{0};
    FrameAssembler a(kCapacity, GetParam(), &dropped);
    const auto first = Fragment({0, 20, 10}, 1);
    const auto second = Fragment({1, 20, 10}, 2);
    EXPECT_EQ(a.Add(first.data(), first.size()), FrameAssembler::Result::kPending);
    a.Reset();
    EXPECT_EQ(a.Add(second.data(), second.size()), FrameAssembler::Result::kIgnored);
    EXPECT_EQ(a.Add(nullptr, 100), FrameAssembler::Result::kIgnored);
    EXPECT_EQ(a.Add(first.data(), wire::kFragmentHeaderBytes - 1),
              FrameAssembler::Result::kIgnored);
    EXPECT_EQ(dropped.load(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LiveFrameAssembler,
                         ::testing::Values(FrameAssembler::Layout::kRecord,
                                           FrameAssembler::Layout::kBare),
                         [](const auto& info) {
                             return info.param == FrameAssembler::Layout::kRecord ? "Record"
                                                                                  : "Bare";
                         });
}  // namespace
