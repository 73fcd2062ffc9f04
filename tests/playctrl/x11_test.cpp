// The player against a real X server (Xvfb in the suite): the end-of-file
// notice as a ClientMessage, notices to windows that are gone, and playback
// into a window, kept as a screenshot. Skipped without DISPLAY.
#include <gtest/gtest.h>

#include <poll.h>

#include <cstdlib>

#include <zynvs/ZynPlayCtrl.h>

#include "playctrl/window_notify.h"
#include "renderkit/image_file.h"
#include "tests/playctrl/playctrl_test_util.h"

// Xlib last: it defines None, Bool, Status, True and False.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        playctrl::PortTable::Instance().Clear();
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no DISPLAY";
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) GTEST_SKIP() << "cannot open the display";
    }
    void TearDown() override {
        playctrl::PortTable::Instance().Clear();
        if (display_) {
            if (window_) XDestroyWindow(display_, window_);
            XCloseDisplay(display_);
        }
    }

    Window MakeWindow(int w, int h, bool map) {
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 20, 20,
                                      static_cast<unsigned>(w), static_cast<unsigned>(h), 0, 0, 0);
        XSelectInput(display_, window_, StructureNotifyMask | ExposureMask);
        if (map) {
            XMapRaised(display_, window_);
            XEvent ev;
            do XNextEvent(display_, &ev);
            while (ev.type != MapNotify);
        }
        XSync(display_, False);
        return window_;
    }

    // The next ClientMessage for our window within the deadline.
    bool NextClientMessage(XClientMessageEvent* out, int timeout_ms) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(display_) > 0) {
                XEvent ev;
                XNextEvent(display_, &ev);
                if (ev.type == ClientMessage) {
                    *out = ev.xclient;
                    return true;
                }
            }
            pollfd pfd{ConnectionNumber(display_), POLLIN, 0};
            poll(&pfd, 1, 20);
        }
        return false;
    }

    int OpenRecording(const std::vector<uint8_t>& bytes, ZYNVS_WND window) {
        const std::string path = dir_.Path("x.zyn");
        EXPECT_TRUE(pc_test::WriteFile(path, bytes));
        return ZYNVS_PlAY_OpenFile(window, path.c_str());
    }

    Display* display_ = nullptr;
    Window window_ = 0;
    pc_test::TempDir dir_;
};

TEST_F(X11Test, EndOfFileNoticeIsAClientMessage) {
    const Window w = MakeWindow(64, 64, false);
    pc_test::RecordingBuilder b;
    b.Header(1000, 1001);
    for (uint32_t i = 0; i < 4; ++i) b.Video(pc_test::Frame(i));
    const int p = OpenRecording(b.bytes(), 0);  // headless port, notice to our window
    ASSERT_GT(p, 0);
    pc_test::Port(p)->set_pacing(false);
    ZYNVS_PlAY_SetFileEndMsg(p, w, 0x0400 + 21);
    ZYNVS_PlAY_Play(p, 0);
    XClientMessageEvent msg{};
    ASSERT_TRUE(NextClientMessage(&msg, 10000));
    EXPECT_EQ(msg.window, w);
    EXPECT_EQ(msg.format, 32);
    EXPECT_EQ(msg.message_type, XInternAtom(display_, playctrl::kWindowMessageAtom, False));
    EXPECT_EQ(msg.data.l[0], 0x0400 + 21);
    EXPECT_EQ(msg.data.l[1], p);
    EXPECT_EQ(msg.data.l[2], p);
    EXPECT_FALSE(NextClientMessage(&msg, 200)) << "exactly one notice";
}

TEST_F(X11Test, NoticeToAWindowThatIsGoneFails) {
    const Window w = MakeWindow(16, 16, false);
    XDestroyWindow(display_, w);
    XSync(display_, False);
    window_ = 0;
    EXPECT_FALSE(playctrl::SendWindowNotice(w, 1, 2, 3));
    EXPECT_FALSE(playctrl::SendWindowNotice(0, 1, 2, 3));
    // The process and the display connection are fine.
    EXPECT_TRUE(playctrl::SendWindowNotice(MakeWindow(16, 16, false), 1, 2, 3));
}

TEST_F(X11Test, PlaybackInAWindow) {
    const int w = 320, h = 240;
    const Window win = MakeWindow(w, h, true);
    const auto& frames = pc_test::Stream320x240();
    const int p = OpenRecording(pc_test::H264Recording(frames), win);
    ASSERT_GT(p, 0);
    auto port = pc_test::Port(p);
    port->set_pacing(false);
    port->video().SetQueueLimits(200, 0, 0);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(port->WaitPlaybackEnded(10000));
    ASSERT_EQ(port->video().WaitIdle(10000), 1);
    RenderVideoStats s{};
    port->video().GetStats(&s);
    EXPECT_GE(s.frames_drawn, frames.size());  // redraws on expose count too
    EXPECT_EQ(s.frames_decoded, frames.size());

    XImage* image = XGetImage(display_, win, 0, 0, w, h, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    // The last picture: four coloured quadrants, bar code of frame 49.
    for (int q = 0; q < 4; ++q) {
        int x, y;
        zyn_test::QuadrantCentre(q, w, h, &x, &y);
        const unsigned long px = XGetPixel(image, x, y);
        const zyn_test::Rgb got{static_cast<uint8_t>((px >> 16) & 0xFF),
                                static_cast<uint8_t>((px >> 8) & 0xFF),
                                static_cast<uint8_t>(px & 0xFF)};
        EXPECT_TRUE(zyn_test::Near(got, zyn_test::PatternColour(x, y, w, h, 49), 40))
            << "quadrant " << q << ": " << int(got.r) << "," << int(got.g) << "," << int(got.b);
    }
    std::vector<uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned long px = XGetPixel(image, x, y);
            uint8_t* d = &bgr[(static_cast<std::size_t>(y) * w + x) * 3];
            d[0] = px & 0xFF;
            d[1] = (px >> 8) & 0xFF;
            d[2] = (px >> 16) & 0xFF;
        }
    }
    XDestroyImage(image);
    EXPECT_TRUE(renderkit::WriteBmp24(pc_test::ArtifactPath("playctrl_window_playback.bmp"),
                                      bgr.data(), w, h, w * 3));
}

}  // namespace
