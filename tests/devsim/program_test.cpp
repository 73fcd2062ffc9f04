// The zyn-devsim program: options, start-up output, commands on standard
// input, clean exit on SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>

#include "tests/devsim/fixture.h"

namespace devsim_test {
namespace {

using Clock = std::chrono::steady_clock;

// The program started with pipes on its standard input and output.
class Program {
public:
    explicit Program(const std::vector<std::string>& args) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
            close(in[1]);
            close(out[0]);
            std::vector<char*> argv;
            std::string prog = ZYN_DEVSIM_PROGRAM;
            argv.push_back(prog.data());
            std::vector<std::string> copy = args;
            for (auto& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(prog.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdin_ >= 0) close(stdin_);
        if (stdout_ >= 0) close(stdout_);
    }
    // Reads output until `needle` has appeared; gives everything read so far.
    bool ReadUntil(const std::string& needle, int timeout_ms) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (output_.find(needle) == std::string::npos) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count());
            if (left <= 0) return false;
            pollfd p{stdout_, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) return false;
            char buf[4096];
            ssize_t n = read(stdout_, buf, sizeof buf);
            if (n <= 0) return false;
            output_.append(buf, static_cast<size_t>(n));
        }
        return true;
    }
    void Write(const std::string& s) { (void)!write(stdin_, s.data(), s.size()); }
    void Signal(int sig) { kill(pid_, sig); }
    // Waits for the exit; -1 on time-out.
    int Wait(int timeout_ms) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            int st = 0;
            pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            }
            if (Clock::now() >= deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    const std::string& output() const { return output_; }

private:
    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1;
    bool exited_ = false;
    std::string output_;
};

TEST(ProgramTest, HelpNamesEveryOption) {
    Program p({"--help"});
    p.ReadUntil("this text", 5000);
    EXPECT_EQ(p.Wait(5000), 0);
    for (const char* option :
         {"--devices", "--channels", "--control-port", "--user", "--password", "--udp", "--newer",
          "--size", "--fps", "--bitrate", "--search", "--bind", "--control-socket"})
        EXPECT_NE(p.output().find(option), std::string::npos) << option;
}

TEST(ProgramTest, BadOptionsExitWithStatusTwo) {
    for (auto args : std::vector<std::vector<std::string>>{
             {"--channels", "5"}, {"--size", "big"}, {"--frobnicate"}, {"--fps"}}) {
        Program p(args);
        EXPECT_EQ(p.Wait(5000), 2) << args[0];
    }
}

TEST(ProgramTest, ServesDevicesTakesCommandsAndStopsOnSigterm) {
    Program p({"--devices", "2", "--channels", "1", "--control-port", "0", "--size", "176x144",
               "--sub-size", "176x144", "--gop", "5", "--newer", "--user", "op", "--password",
               "pw"});
    ASSERT_TRUE(p.ReadUntil("ready", 20000)) << p.output();
    std::smatch m;
    std::string out = p.output();
    std::regex line("device 1: id 2, control 127\\.0\\.0\\.1:([0-9]+) \\(tcp\\), stream ([0-9]+)");
    ASSERT_TRUE(std::regex_search(out, m, line)) << out;
    uint16_t port = static_cast<uint16_t>(std::stoi(m[1]));

    LinkPeer ctl;
    ASSERT_TRUE(ctl.Open(port));
    auto r = ctl.Request(0x0101, LoginPayload("op", "pw"), 0x8588);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Result(), 0);
    ASSERT_TRUE(p.ReadUntil("login op", 5000)) << p.output();  // session events are logged

    p.Write("keepalive 1 off\n");
    ASSERT_TRUE(p.ReadUntil("keep-alives not answered", 5000));
    EXPECT_FALSE(ctl.Request(0x0103, {}, 0x8103, 300));
    p.Write("status\n");
    ASSERT_TRUE(p.ReadUntil("device 1 id 2: up", 5000)) << p.output();

    p.Signal(SIGTERM);
    EXPECT_EQ(p.Wait(10000), 0);
    EXPECT_TRUE(ctl.WaitLost(3000));
    p.ReadUntil("stopped", 2000);
    EXPECT_NE(p.output().find("stopped"), std::string::npos);
}

TEST(ProgramTest, FixedPortsFollowTheDeviceNumber) {
    if (!devsim::InPrivateNetworkNamespace())
        GTEST_SKIP() << "fixed ports are only sure to be free in the test namespace";
    Program p({"--devices", "3", "--channels", "1", "--control-port", "21000", "--size",
               "176x144", "--sub-size", "176x144", "--gop", "5", "--no-stdin", "--quiet"});
    ASSERT_TRUE(p.ReadUntil("ready", 20000)) << p.output();
    for (uint16_t port : {21000, 21002, 21004}) {
        LinkPeer ctl;
        EXPECT_TRUE(Login(ctl, port)) << port;
    }
    RawSocket s;
    EXPECT_TRUE(s.Connect(21005));  // stream port of device 2
    p.Signal(SIGINT);
    EXPECT_EQ(p.Wait(10000), 0);
}

TEST(ProgramTest, SearchOutsideANamespaceIsRefused) {
    if (devsim::InPrivateNetworkNamespace()) GTEST_SKIP() << "inside a private namespace";
    Program p({"--search", "--control-port", "0", "--size", "176x144", "--sub-size", "176x144",
               "--gop", "5"});
    EXPECT_EQ(p.Wait(20000), 1);
    p.ReadUntil("namespace", 1000);
    EXPECT_NE(p.output().find("private network namespace"), std::string::npos) << p.output();
}

}  // namespace
}  // namespace devsim_test
