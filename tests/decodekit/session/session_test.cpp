// The direct-device session through the C interface, against the emulator:
// login bytes and answers, keep-alive, loss and recovery with the streams
// restored, connections closed by the device, stalls, logout, busy refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/decodekit/sdk_support/sdk_fixture.h"

namespace sdk_test {
namespace {

using namespace std::chrono_literals;

class Session : public SdkTest {
protected:
    // Keep-alives the device got with sequence in [from, to).
    std::size_t KeepAlives(uint64_t from, uint64_t to = UINT64_MAX) {
        std::size_t n = 0;
        for (auto& m : Log().Snapshot())
            if (m.command == 0x0103 && m.sequence >= from && m.sequence < to) ++n;
        return n;
    }
    uint64_t SequenceOf(uint16_t command, uint64_t from) {
        auto m = Log().WaitForCommand(command, 5000, -1, from);
        return m ? m->sequence : UINT64_MAX;
    }
    // Message text of a channel message: "N" in a 4-byte buffer.
    static Bytes ChannelText(int ch) {
        Bytes b(4, 0);
        b[0] = static_cast<uint8_t>('0' + ch);
        return b;
    }
    bool IsChannelMessage(const Message& m, int device, int message, int ch) {
        return m.device == device && m.message == message && m.length == 4 &&
               m.data == ChannelText(ch);
    }
};

TEST_F(Session, LoginSendsTheFortyBytePayloadAndDeliversTheDeviceInformation) {
    auto cfg = SmallDevice(0x0A0B0C0D, 3);
    cfg.accounts = {{"operator", "pw"}};
    ASSERT_TRUE(StartDevices({cfg}));
    DeviceLoginInfo rec = LoginFor(Dev(), 0x01020304, 3, "operator", "pw");
    ASSERT_EQ(ZYNVS_Login(&rec), 1);

    auto login = Log().WaitForCommand(0x0101, 2000);
    ASSERT_TRUE(login);
    Bytes expected = {0x11, 0x11, 0x01, 0x01, 0x00, 0x00, 40, 0x00,     // header
                      0x04, 0x03, 0x02, 0x01,                           // device id
                      3,    2,    0,    0};                             // channels, 2, zeros
    expected.insert(expected.end(), rec.user_name, rec.user_name + 8);  // account block
    expected.insert(expected.end(), rec.password, rec.password + 8);
    expected.resize(8 + 40, 0);
    EXPECT_EQ(Hex(login->raw), Hex(expected));

    // Message 1, then 8 with exactly the device's 88-byte block; no 9.
    std::size_t at1 = 0, at8 = 0;
    auto m1 = msgs_.WaitFor(0x01020304, 1, 2000, 0, &at1);
    auto m8 = msgs_.WaitFor(0x01020304, 8, 2000, 0, &at8);
    ASSERT_TRUE(m1 && m8);
    EXPECT_EQ(m1->length, 0);
    EXPECT_EQ(m8->length, 88);
    EXPECT_EQ(Hex(m8->data), Hex(Dev().DeviceInfo()));
    EXPECT_LT(at1, at8);
    EXPECT_EQ(msgs_.Count(0x01020304, 9), 0);

    // A second login of an active id does nothing and gives 1.
    ASSERT_EQ(ZYNVS_Login(&rec), 1);
    EXPECT_EQ(Log().Count(0x0101), 1u);
    EXPECT_EQ(msgs_.Count(0x01020304, 1), 1);
}

TEST_F(Session, NewerLoginAnswerDeliversTheExtendedInformation) {
    auto cfg = SmallDevice(7, 1);
    cfg.newer = true;
    cfg.audio_format = 2;
    ASSERT_TRUE(StartDevices({cfg}));
    ASSERT_TRUE(Login(0, 70));
    auto m9 = msgs_.WaitFor(70, 9, 2000);
    ASSERT_TRUE(m9);
    EXPECT_EQ(m9->length, 504);
    Bytes ext = Dev().ExtendedInfo();
    ASSERT_EQ(ext.size(), 504u);
    EXPECT_EQ(ext[120], 1);  // talk format
    EXPECT_EQ(ext[121], 2);  // audio format number
    EXPECT_EQ(Hex(m9->data), Hex(ext));
    EXPECT_EQ(msgs_.Count(70, 8), 0);
    EXPECT_EQ(msgs_.Count(70, 1), 1);
}

TEST_F(Session, WrongAccountFailsAndARetryOnTheSameIdSucceeds) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    DeviceLoginInfo bad = LoginFor(Dev(), 5, 1, "admin", "wrong");
    EXPECT_EQ(ZYNVS_Login(&bad), 0);
    EXPECT_EQ(msgs_.Count(5, 1), 0);
    // The failed device stays in the map (its name can be set) but is not
    // kept alive: no keep-alives, no automatic re-login.
    EXPECT_EQ(ZYNVS_SetDeviceName(5, "cam"), 1);
    const uint64_t after_fail = Log().NextSequence();

    DeviceLoginInfo good = LoginFor(Dev(), 5, 1, "admin", "admin");
    EXPECT_EQ(ZYNVS_Login(&good), 1);
    EXPECT_TRUE(msgs_.WaitFor(5, 1, 2000));
    auto second = Log().WaitForCommand(0x0101, 2000, -1, after_fail);
    ASSERT_TRUE(second);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second->payload.data()) + 16, 5), "admin");
    EXPECT_EQ(Log().Count(0x0101), 2u);  // no login in between from the housekeeping
    EXPECT_TRUE(Log().WaitForCommand(0x0103, 2000, -1, second->sequence));
}

TEST_F(Session, LateLoginAnswerIsIgnoredAndTheControlConnectionClosed) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    Dev().AddReplyFault({0x0101, devsim::FaultAction::kDelay, 3400, 1});
    const auto t0 = Clock::now();
    DeviceLoginInfo rec = LoginFor(Dev(), 9);
    EXPECT_EQ(ZYNVS_Login(&rec), 0);
    const auto waited = Clock::now() - t0;
    EXPECT_GE(waited, 2900ms);
    EXPECT_LT(waited, 3400ms);
    // The device saw its session end; the late answer reaches nobody.
    EXPECT_TRUE(WaitUntil([&] { return Dev().LoggedInSessions() == 0; }, 2000)) << events_.All();
    EXPECT_TRUE(WaitUntil([&] { return Clock::now() - t0 > 3600ms; }, 2000));
    EXPECT_EQ(msgs_.Count(9, 1), 0);
    EXPECT_EQ(KeepAlives(0), 0u);
    // A retry on the same id works once the device answers in time.
    EXPECT_EQ(ZYNVS_Login(&rec), 1);
    EXPECT_TRUE(msgs_.WaitFor(9, 1, 1000));
}

TEST_F(Session, ConcurrentLoginsOfOneIdShareOneAttemptAndOneTimeOut) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    Dev().AddReplyFault({0x0101, devsim::FaultAction::kDelay, 3400, 1});
    const DeviceLoginInfo rec = LoginFor(Dev(), 9);
    constexpr int kCallers = 4;
    std::atomic<int> sum{0};
    std::vector<Clock::duration> waited(kCallers);
    std::vector<std::thread> callers;
    const auto t0 = Clock::now();
    for (int i = 0; i < kCallers; ++i)
        callers.emplace_back([&, i] {
            DeviceLoginInfo own = rec;
            sum += ZYNVS_Login(&own);
            waited[i] = Clock::now() - t0;
        });
    for (auto& t : callers) t.join();
    EXPECT_EQ(sum.load(), 0);
    for (auto w : waited) EXPECT_LT(w, 3400ms);  // one reply time-out, not one each
    EXPECT_EQ(Log().Count(0x0101), 1u);
}

TEST_F(Session, KeepAliveGoesOutEveryTick) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 11));
    const uint64_t from = Log().NextSequence();
    const auto t0 = Clock::now();
    ASSERT_TRUE(WaitUntil([&] { return KeepAlives(from) >= 15; }, 15 * tick_ms_ * 4 + 2000));
    const double elapsed_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const std::size_t n = KeepAlives(from);
    // Not more often than the tick; the lower bound leaves room for a busy machine.
    EXPECT_LE(n, static_cast<std::size_t>(elapsed_ms / tick_ms_) + 2) << elapsed_ms;
    for (auto& m : Log().Snapshot()) {
        if (m.command != 0x0103) continue;
        EXPECT_EQ(Hex(m.raw), "11 11 03 01 00 00 00 00");
    }
    EXPECT_EQ(msgs_.Count(11, 2), 0);
}

TEST_F(Session, KeepAliveLossReportsBothLossesThenLogsInAndRestoresTheStreams) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 2)}, /*keep_sent_frames=*/true));
    ASSERT_TRUE(Login(0, 21));
    ASSERT_TRUE(PlayData(21, 0));
    ASSERT_TRUE(PlayData(21, 1));

    const std::size_t base0 = media_.FullCount(21, 0), base1 = media_.FullCount(21, 1);
    const uint64_t off_at = Log().NextSequence();
    const std::size_t before = msgs_.Size();
    const auto off_time = Clock::now();
    Dev().SetAnswerKeepAlive(false);
    std::size_t at4 = 0, at2 = 0;
    auto m4 = msgs_.WaitFor(21, 4, 30 * tick_ms_ + 5000, before, &at4);
    auto m2 = msgs_.WaitFor(21, 2, 5000, before, &at2);
    Dev().SetAnswerKeepAlive(true);
    ASSERT_TRUE(m4 && m2);
    EXPECT_EQ(m4->length, 0);
    EXPECT_EQ(m2->length, 0);
    EXPECT_LT(at4, at2) << "message 4 (stream) comes before message 2 (control)";
    // About ten silent ticks: the keep-alive sent in the tick just before the
    // switch may reach a busy device after it and go unanswered too, so the
    // loss may come up to one tick sooner. The count of unanswered
    // keep-alives below is the exact check.
    EXPECT_GE(m2->when - off_time, std::chrono::milliseconds(9 * tick_ms_));

    // More than 10 keep-alives went unanswered before the loss (not fewer
    // than 11 ticks); the next tick logs in again.
    const uint64_t relogin = SequenceOf(0x0101, off_at);
    ASSERT_NE(relogin, UINT64_MAX);
    // (The 11th goes out in the tick that closes the connection and may not
    // reach the device.)
    const std::size_t unanswered = KeepAlives(off_at, relogin);
    EXPECT_GE(unanswered, 10u);
    EXPECT_LE(unanswered, 12u);

    std::size_t at1 = 0, at3a = 0, at3b = 0;
    ASSERT_TRUE(msgs_.WaitFor(21, 1, 5000, at2, &at1));
    auto r0 = msgs_.WaitFor([&](const Message& m) { return IsChannelMessage(m, 21, 3, 0); }, 5000,
                            at1, &at3a);
    auto r1 = msgs_.WaitFor([&](const Message& m) { return IsChannelMessage(m, 21, 3, 1); }, 5000,
                            at1, &at3b);
    ASSERT_TRUE(r0 && r1);
    EXPECT_LT(at3a, at3b);

    // The streams flow again, frame for frame what the device sends.
    ASSERT_TRUE(MoreFrames(21, 0, 12));
    ASSERT_TRUE(MoreFrames(21, 1, 12));
    for (int ch = 0; ch < 2; ++ch) {
        auto all = media_.Full(21, ch);
        std::vector<Delivery> after(all.begin() + (ch ? base1 : base0), all.end());
        // The restored stream is a new one at the device: its numbers start
        // again at 0, with a key frame.
        auto start = std::find_if(after.begin(), after.end(), [](const Delivery& d) {
            return ViewRecord(d.data).frame_number == 0;
        });
        ASSERT_NE(start, after.end()) << "channel " << ch;
        after.erase(after.begin(), start);
        EXPECT_EQ(ViewRecord(after.front().data).frame_type, 7);
        std::size_t checked = 0;
        EXPECT_EQ(CompareWithSent(after, Dev(), ch, 0, &checked), "") << "channel " << ch;
        EXPECT_GE(checked, 10u);
    }
    EXPECT_EQ(msgs_.Count(21, 2), 1);
}

TEST_F(Session, DeviceWithoutChannelsIsStillDeclaredLost) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 22, /*channels=*/0));
    const std::size_t before = msgs_.Size();
    Dev().SetAnswerKeepAlive(false);
    std::size_t at2 = 0;
    auto m2 = msgs_.WaitFor(22, 2, 30 * tick_ms_ + 5000, before, &at2);
    Dev().SetAnswerKeepAlive(true);
    ASSERT_TRUE(m2) << "a device whose keep-alives go unanswered must be reported lost";
    EXPECT_EQ(msgs_.Count(22, 4), 0);
    EXPECT_TRUE(msgs_.WaitFor(22, 1, 5000, at2));
}

TEST_F(Session, DeviceClosingTheControlConnectionIsRepairedOnTheNextTick) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 31));
    ASSERT_TRUE(PlayData(31, 0));
    const std::size_t before = msgs_.Size();
    Dev().CloseControlConnections();
    std::size_t at2 = 0, at1 = 0;
    ASSERT_TRUE(msgs_.WaitFor(31, 2, 3000, before, &at2));
    ASSERT_TRUE(msgs_.WaitFor(31, 1, 3000, at2, &at1));
    ASSERT_TRUE(
        msgs_.WaitFor([&](const Message& m) { return IsChannelMessage(m, 31, 3, 0); }, 5000, at1));
    EXPECT_TRUE(MoreFrames(31, 0, 10));
    EXPECT_EQ(msgs_.Count(31, 2), 1);
}

TEST_F(Session, DeviceClosingTheStreamConnectionReportsItAndTheStreamComesBack) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 41));
    ASSERT_TRUE(PlayData(41, 0));
    const std::size_t before = msgs_.Size();
    Dev().CloseStreamConnections();
    std::size_t at4 = 0;
    auto m4 = msgs_.WaitFor(41, 4, 3000, before, &at4);
    ASSERT_TRUE(m4);
    EXPECT_EQ(m4->length, 0);
    // Nothing arrives any more, so the channel stalls and is restored.
    ASSERT_TRUE(msgs_.WaitFor([&](const Message& m) { return IsChannelMessage(m, 41, 3, 0); },
                              30 * tick_ms_ + 5000, at4));
    EXPECT_TRUE(MoreFrames(41, 0, 10));
    EXPECT_EQ(msgs_.Count(41, 2), 0);
}

TEST_F(Session, StalledChannelIsReportedByNumberAndRestored) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 2)}));
    ASSERT_TRUE(Login(0, 51));
    ASSERT_TRUE(PlayData(51, 0));
    ASSERT_TRUE(PlayData(51, 1));
    const std::size_t before = msgs_.Size();
    const auto t0 = Clock::now();
    Dev().StallChannel(1, true);
    std::size_t at4 = 0;
    auto m4 = msgs_.WaitFor([&](const Message& m) { return m.device == 51 && m.message == 4; },
                            40 * tick_ms_ + 5000, before, &at4);
    ASSERT_TRUE(m4);
    EXPECT_EQ(m4->length, 4);
    EXPECT_EQ(Hex(m4->data), Hex(ChannelText(1)));
    // More than 20 ticks without data on the channel.
    EXPECT_GE(m4->when - t0, std::chrono::milliseconds(20 * tick_ms_));
    EXPECT_TRUE(WaitUntil([&] { return events_.Count("closed by the client") > 0; }, 2000))
        << "the stream connection is closed after a stall";

    Dev().StallChannel(1, false);
    ASSERT_TRUE(msgs_.WaitFor([&](const Message& m) { return IsChannelMessage(m, 51, 3, 1); },
                              40 * tick_ms_ + 5000, at4));
    EXPECT_TRUE(MoreFrames(51, 0, 10));
    EXPECT_TRUE(MoreFrames(51, 1, 10));
    EXPECT_EQ(msgs_.Count(51, 2), 0);
}

TEST_F(Session, LogoutWithNotifySendsLogoutAndReportsTheEnd) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 61));
    ASSERT_TRUE(PlayData(61, 0));
    const std::size_t before = msgs_.Size();
    const uint64_t from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_Logout(61, 1), 1);
    auto m2 = msgs_.WaitFor(61, 2, 1000, before);
    ASSERT_TRUE(m2);
    EXPECT_EQ(m2->length, 0);
    auto bye = Log().WaitForCommand(0x0102, 2000, -1, from);
    ASSERT_TRUE(bye);
    EXPECT_EQ(Hex(bye->raw), "11 11 02 01 00 00 00 00");
    // Destroyed within about a tick; no keep-alive after the logout.
    EXPECT_TRUE(WaitUntil([] { return ZYNVS_SetDeviceName(61, "x") == 0; }, 20 * tick_ms_));
    EXPECT_TRUE(WaitUntil([&] { return Dev().LoggedInSessions() == 0; }, 2000));
    EXPECT_LE(KeepAlives(bye->sequence), 1u);
    EXPECT_EQ(msgs_.Count(61, 2), 1);
}

TEST_F(Session, LogoutWithoutNotifySendsLogoutGivesZeroAndSaysNothing) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 62));
    const uint64_t from = Log().NextSequence();
    EXPECT_EQ(ZYNVS_Logout(62, 0), 0);
    ASSERT_TRUE(Log().WaitForCommand(0x0102, 2000, -1, from));
    EXPECT_TRUE(WaitUntil([] { return ZYNVS_SetDeviceName(62, "x") == 0; }, 20 * tick_ms_));
    EXPECT_TRUE(WaitUntil([&] { return Dev().LoggedInSessions() == 0; }, 2000));
    EXPECT_EQ(msgs_.Count(62, 2), 0);
    EXPECT_EQ(msgs_.Count(62, 4), 0);
}

TEST_F(Session, SecondRequestWhileOneWaitsIsRefusedAtOnceAndSendsNothing) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 71));
    Dev().AddReplyFault({0x0503, devsim::FaultAction::kDelay, 1200, 1});
    std::atomic<int> first{-1};
    uint8_t video[92] = {};
    std::thread waiter([&] { first = ZYNVS_GetVideoParam(71, 0, video); });
    ASSERT_TRUE(Log().WaitForCommand(0x0503, 2000));
    uint8_t record[72];
    std::memset(record, 0xEE, sizeof record);
    const auto t0 = Clock::now();
    EXPECT_EQ(ZYNVS_GetRecordParam(71, 0, record), 0);
    EXPECT_LT(Clock::now() - t0, 200ms);
    uint8_t ptz_before = static_cast<uint8_t>(Dev().PtzCommands().size());
    EXPECT_EQ(ZYNVS_PTZControl(71, 0, 1, 1, 0), 0);
    EXPECT_EQ(ZYNVS_TransInfo(71, 0x0501, 0x8501, nullptr, 0, 1, nullptr, 0, 500), -1);
    waiter.join();
    EXPECT_EQ(first.load(), 1);
    EXPECT_EQ(Log().Count(0x0511), 0u);
    EXPECT_EQ(Log().Count(0x0401), 0u);
    EXPECT_EQ(Log().Count(0x0501), 0u);
    EXPECT_EQ(Dev().PtzCommands().size(), ptz_before);
    for (uint8_t b : record) ASSERT_EQ(b, 0xEE);
    // Free again afterwards.
    EXPECT_EQ(ZYNVS_GetRecordParam(71, 0, record), 1);
}

TEST_F(Session, RequestWaitingWhenTheConnectionDropsFailsAndTakesNoOtherAnswer) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 72));
    Dev().AddReplyFault({0x0503, devsim::FaultAction::kDrop, 0, 1});
    std::atomic<int> result{-1};
    uint8_t video[92];
    std::memset(video, 0x5C, sizeof video);
    const std::size_t before = msgs_.Size();
    const auto t0 = Clock::now();
    std::thread waiter([&] { result = ZYNVS_GetVideoParam(72, 0, video); });
    ASSERT_TRUE(Log().WaitForCommand(0x0503, 2000));
    Dev().CloseControlConnections();
    // The re-login on the next tick must not hand its answer to the getter.
    waiter.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_LT(Clock::now() - t0, 2500ms) << "ends with the connection, not at the time-out";
    for (uint8_t b : video) ASSERT_EQ(b, 0x5C);
    std::size_t at2 = 0;
    ASSERT_TRUE(msgs_.WaitFor(72, 2, 2000, before, &at2));
    EXPECT_TRUE(msgs_.WaitFor(72, 1, 5000, at2));
    EXPECT_TRUE(WaitUntil([&] { return ZYNVS_GetVideoParam(72, 0, video) == 1; }, 3000));
}

TEST_F(Session, UnsolicitedMessagesAndGarbageOnTheControlConnection) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 2)}));
    ASSERT_TRUE(Login(0, 81));
    Dev().SendAlarmReport(1, 3, true);
    auto alarm = msgs_.WaitFor(81, 0x0601, 2000);
    ASSERT_TRUE(alarm);
    ASSERT_EQ(alarm->length, 12);
    EXPECT_EQ(alarm->data[0], 1);
    EXPECT_EQ(alarm->data[1], 3);
    EXPECT_EQ(alarm->data[2], 1);
    Dev().SendUnsolicited(0x0777, {1, 2, 3});
    auto other = msgs_.WaitFor(81, 0x0777, 2000);
    ASSERT_TRUE(other);
    EXPECT_EQ(Hex(other->data), "01 02 03");
    // Bytes without a header end the connection (the framing cannot be
    // trusted after them); the session is repaired like any other loss.
    const std::size_t before = msgs_.Size();
    Dev().SendGarbage(false, 300);
    std::size_t at2 = 0;
    ASSERT_TRUE(msgs_.WaitFor(81, 2, 2000, before, &at2));
    ASSERT_TRUE(msgs_.WaitFor(81, 1, 3000, at2));
    uint8_t base[88];
    EXPECT_TRUE(WaitUntil([&] { return ZYNVS_GetBaseParam(81, base) == 1; }, 3000));
    EXPECT_EQ(Hex(base, 88), Hex(Dev().Param(0x0501)));
}

TEST_F(Session, LoginAfterUnInitIsKeptAliveAgain) {
    ASSERT_TRUE(StartDevices({SmallDevice(1, 1)}));
    ASSERT_TRUE(Login(0, 91));
    ASSERT_EQ(ZYNVS_UnInit(), 1);
    EXPECT_TRUE(msgs_.WaitFor(91, 2, 1000)) << "teardown logs out with notify";
    EXPECT_TRUE(WaitUntil([&] { return Dev().LoggedInSessions() == 0; }, 2000));
    ASSERT_TRUE(Login(0, 91));
    const uint64_t from = Log().NextSequence();
    EXPECT_TRUE(WaitUntil([&] { return KeepAlives(from) >= 3; }, 60 * tick_ms_ + 2000));
}

}  // namespace
}  // namespace sdk_test
