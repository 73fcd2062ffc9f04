// The command language of the program's standard input and control socket.
#include "tests/devsim/fixture.h"
#include "tools/devsim/console.h"

namespace devsim_test {
namespace {

class ConsoleTest : public EmulatorTest {
protected:
    std::string Run(const std::string& line) {
        return devsim::RunConsoleCommand(*emu_, line, &quit_);
    }
    bool quit_ = false;
};

TEST_F(ConsoleTest, CommandsReachTheDevice) {
    devsim::Config c;
    c.devices = {SmallDevice(1), SmallDevice(2)};
    Start(c);
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port(1)));

    EXPECT_NE(Run("help").find("keepalive D on|off"), std::string::npos);
    std::string status = Run("status");
    EXPECT_NE(status.find("device 1 id 2"), std::string::npos) << status;
    EXPECT_NE(status.find("1 logged in"), std::string::npos) << status;

    EXPECT_EQ(Run("keepalive 1 off"), "keep-alives not answered\n");
    EXPECT_FALSE(ctl.Request(0x0103, {}, 0x8103, 300));
    EXPECT_EQ(Run("clear 1"), "faults cleared\n");
    EXPECT_TRUE(ctl.Request(0x0103, {}, 0x8103));

    Run("result 1 9 0501 1");
    auto r = ctl.Request(0x0501, {}, 0x8501);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 9);

    Run("send 1 0x0610 0a0b0c");
    auto m = ctl.WaitFor(0x0610, 2000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->payload, (Bytes{0x0a, 0x0b, 0x0c}));
    Run("alarm 1 2 3 off");
    m = ctl.WaitFor(zyn::wire::kAlarmReport, 2000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->payload[0], 2);
    EXPECT_EQ(m->payload[1], 3);
    EXPECT_EQ(m->payload[2], 0);

    std::string msgs = Run("messages 2");
    EXPECT_NE(msgs.find("cmd 0x0501"), std::string::npos) << msgs;

    Run("close 1 control");
    EXPECT_TRUE(ctl.WaitLost(2000));
    EXPECT_FALSE(quit_);
    EXPECT_EQ(Run("quit"), "bye\n");
    EXPECT_TRUE(quit_);
}

TEST_F(ConsoleTest, BadCommandsGiveErrorsAndChangeNothing) {
    StartDevice(SmallDevice());
    for (const char* line :
         {"keepalive", "keepalive 0", "keepalive 0 maybe", "keepalive 5 off", "keepalive -1 off",
          "delay 0 x", "stall 0 1", "send 0 xyz", "send 0 0103 abc", "garbage 0 sideways",
          "frobnicate 0", "result 0", "drop 0 12345"}) {
        std::string out = Run(line);
        EXPECT_EQ(out.rfind("error:", 0), 0u) << line << " -> " << out;
    }
    EXPECT_EQ(Run(""), "");
    LinkPeer ctl;
    ASSERT_TRUE(Login(ctl, ctl_port()));
    EXPECT_TRUE(ctl.Request(0x0103, {}, 0x8103));
}

}  // namespace
}  // namespace devsim_test
