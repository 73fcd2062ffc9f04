// CPlayVideo drawing into real X11 windows (under the test runner's Xvfb).
// Skipped when no display can be opened. Screenshots are kept as artefacts.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "renderkit/play_video.h"
#include "tests/renderkit/test_util.h"

// Xlib last: it defines None, Bool, True, False.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using zyn_test::Rgb;
constexpr int kWait = 20000;
constexpr int kTolerance = 16;

class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0') GTEST_SKIP() << "DISPLAY is not set";
        // A busy server may refuse a connection for a moment: retry briefly.
        rk_test::WaitUntil([&] { return (display_ = XOpenDisplay(name)) != nullptr; }, 3000);
        if (display_ == nullptr) GTEST_SKIP() << "cannot open display " << name;
    }
    void TearDown() override {
        if (display_ != nullptr) XCloseDisplay(display_);
    }

    // A mapped top-level window at (x, y); black background.
    Window MakeWindow(int x, int y, int w, int h) {
        XSetWindowAttributes a{};
        a.background_pixel = BlackPixel(display_, DefaultScreen(display_));
        a.override_redirect = 1;
        a.event_mask = StructureNotifyMask;
        Window win = XCreateWindow(display_, DefaultRootWindow(display_), x, y, w, h, 0,
                                   CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixel | CWOverrideRedirect | CWEventMask, &a);
        XMapRaised(display_, win);
        XFlush(display_);
        bool mapped = rk_test::WaitUntil(
            [&] {
                XEvent e;
                while (XCheckWindowEvent(display_, win, StructureNotifyMask, &e)) {
                    if (e.type == MapNotify) return true;
                }
                return false;
            },
            5000);
        EXPECT_TRUE(mapped);
        return win;
    }

    rk_test::Image Grab(Window win) {
        rk_test::Image image;
        XWindowAttributes wa{};
        XSync(display_, 0);
        if (!XGetWindowAttributes(display_, win, &wa)) return image;
        XImage* x = XGetImage(display_, win, 0, 0, wa.width, wa.height, AllPlanes, ZPixmap);
        if (x == nullptr) return image;
        image.width = wa.width;
        image.height = wa.height;
        image.pixels.resize(static_cast<size_t>(wa.width) * wa.height);
        for (int yy = 0; yy < wa.height; ++yy) {
            for (int xx = 0; xx < wa.width; ++xx) {
                const unsigned long p = XGetPixel(x, xx, yy);
                image.pixels[static_cast<size_t>(yy) * wa.width + xx] = {
                    static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
            }
        }
        XDestroyImage(x);
        return image;
    }

    void Keep(const rk_test::Image& image, const std::string& name) {
        rk_test::WritePng(image, rk_test::ArtifactPath(name));
    }

    // Polls the window until pixel (x, y) has colour `want`.
    bool WaitForColour(Window win, int x, int y, Rgb want, int timeout_ms = kWait) {
        return rk_test::WaitUntil(
            [&] {
                const auto image = Grab(win);
                return image.width > x && image.height > y && zyn_test::Near(image.At(x, y), want, kTolerance);
            },
            timeout_ms);
    }

    // The pattern of frame `index`, scaled to the image, at the quadrant and bar centres.
    void ExpectPattern(const rk_test::Image& image, int index, const std::string& what) {
        ASSERT_GT(image.width, 0) << what;
        for (int q = 0; q < 4; ++q) {
            int x, y;
            zyn_test::QuadrantCentre(q, image.width, image.height, &x, &y);
            const Rgb want = zyn_test::PatternColour(x, y, image.width, image.height, index);
            const Rgb got = image.At(x, y);
            EXPECT_TRUE(zyn_test::Near(got, want, kTolerance))
                << what << " quadrant " << q << " got " << int(got.r) << "," << int(got.g) << ","
                << int(got.b);
        }
        for (int bit = 0; bit < 8; ++bit) {
            int x, y;
            zyn_test::BarCellCentre(bit, image.width, image.height, &x, &y);
            EXPECT_EQ(image.At(x, y).g > 128, ((index >> bit) & 1) != 0) << what << " bit " << bit;
        }
    }

    void Feed(CPlayVideo& video, size_t from, size_t to) {
        const auto& stream = rk_test::Stream320x240();
        for (size_t i = from; i < to; ++i) {
            video.SendOneFrame1(stream[i].data.data(), static_cast<int>(stream[i].data.size()),
                                static_cast<uint32_t>(i));
        }
        ASSERT_EQ(video.WaitIdle(kWait), 1);
    }

    Display* display_ = nullptr;
};

TEST_F(X11Test, DrawsThePictureAtTheWindowSizeAndFollowsResizes) {
    Window win = MakeWindow(0, 0, 320, 240);
    CPlayVideo video;
    video.SetQueueLimits(1000, 0, 0);
    video.SetWnd(win, 1);
    ASSERT_EQ(video.StartVideo(320, 240, 1), 1);
    Feed(video, 0, 20);
    auto same_size = Grab(win);
    Keep(same_size, "x11_window_320x240.png");
    ExpectPattern(same_size, 19, "320x240");
    RenderVideoStats s{};
    video.GetStats(&s);
    EXPECT_EQ(s.frames_drawn, 20u);

    // The window grows: the next pictures are scaled to it, and the last one
    // is repainted at once even without new frames.
    XResizeWindow(display_, win, 480, 360);
    XSync(display_, 0);
    int x, y;
    zyn_test::QuadrantCentre(3, 480, 360, &x, &y);
    ASSERT_TRUE(WaitForColour(win, x, y, zyn_test::kBottomRight));
    Feed(video, 20, 30);
    auto scaled = Grab(win);
    Keep(scaled, "x11_window_scaled_480x360.png");
    ExpectPattern(scaled, 29, "480x360");

    // StopVideo paints the window black.
    video.StopVideo();
    ASSERT_TRUE(WaitForColour(win, x, y, Rgb{0, 0, 0}));
    XDestroyWindow(display_, win);
}

TEST_F(X11Test, SourceRectangleCropsWhatTheWindowShows) {
    Window win = MakeWindow(0, 0, 320, 240);
    CPlayVideo video;
    video.SetQueueLimits(1000, 0, 0);
    video.InitVideoWindow(win, 320, 240, 1);
    // The top-left quadrant only (the quadrants split at x 160 and y 90).
    const ZYNVS_RECT top_left{0, 0, 160, 90};
    ASSERT_EQ(video.SetSrcRect(&top_left), 1);
    Feed(video, 0, 10);
    auto crop = Grab(win);
    Keep(crop, "x11_crop_top_left.png");
    for (int yy = 10; yy < 240; yy += 40) {
        for (int xx = 10; xx < 320; xx += 40) {
            ASSERT_TRUE(zyn_test::Near(crop.At(xx, yy), zyn_test::kTopLeft, kTolerance)) << xx << "," << yy;
        }
    }
    // The right half of the bar code of frame 0xF0 + ... : cells 4..7 fill the window.
    const ZYNVS_RECT bars{160, 180, 320, 240};
    ASSERT_EQ(video.SetSrcRect(&bars), 1);
    Feed(video, 10, 12);  // last index 11 = 0b1011: cells 4..7 all off
    auto bar_crop = Grab(win);
    Keep(bar_crop, "x11_crop_bar_code.png");
    for (int cell = 0; cell < 4; ++cell) {
        EXPECT_TRUE(zyn_test::Near(bar_crop.At(cell * 80 + 40, 120), zyn_test::kBarOff, kTolerance)) << cell;
    }
    // Back to the whole picture.
    ASSERT_EQ(video.SetSrcRect(nullptr), 1);
    Feed(video, 12, 14);
    ExpectPattern(Grab(win), 13, "uncropped");
}

TEST_F(X11Test, ChangeDisplayWndMovesDrawingToTheNewWindow) {
    Window first = MakeWindow(0, 0, 320, 240);
    Window second = MakeWindow(400, 0, 320, 240);
    CPlayVideo video;
    video.SetQueueLimits(1000, 0, 0);
    video.InitVideoWindow(first, 320, 240, 1);
    Feed(video, 0, 5);
    ExpectPattern(Grab(first), 4, "first window");
    ASSERT_EQ(video.ChangeDisplayWnd(second, 0), 1);
    // The last picture is repainted into the new window right away and the
    // old one is cleared.
    int x, y;
    zyn_test::QuadrantCentre(0, 320, 240, &x, &y);
    ASSERT_TRUE(WaitForColour(second, x, y, zyn_test::kTopLeft));
    ASSERT_TRUE(WaitForColour(first, x, y, Rgb{0, 0, 0}));
    Feed(video, 5, 9);
    auto moved = Grab(second);
    Keep(moved, "x11_changed_window.png");
    ExpectPattern(moved, 8, "second window");
    EXPECT_TRUE(zyn_test::Near(Grab(first).At(x, y), Rgb{0, 0, 0}, kTolerance));
    // Window 0 stops drawing; decoding goes on.
    ASSERT_EQ(video.ChangeDisplayWnd(0, 0), 1);
    ASSERT_TRUE(WaitForColour(second, x, y, Rgb{0, 0, 0}));
    RenderVideoStats before{};
    video.GetStats(&before);
    Feed(video, 9, 14);
    RenderVideoStats after{};
    video.GetStats(&after);
    EXPECT_EQ(after.frames_decoded, before.frames_decoded + 5);
    EXPECT_EQ(after.frames_drawn, before.frames_drawn);
}

struct Painter {
    std::atomic<int> calls{0};
    static void ZYNVS_CALL Paint(ZYNVS_HDC dc, ZYNVS_SIZE* size, int, void* user) {
        // A magenta square at (20..60, 20..60) of the picture.
        for (int y = 20; y < 60 && y < size->cy; ++y) {
            for (int x = 20; x < 60 && x < size->cx; ++x) {
                uint8_t* px = dc->pixels + static_cast<ptrdiff_t>(y) * dc->stride + x * 4;
                px[0] = 255, px[1] = 0, px[2] = 255, px[3] = 255;
            }
        }
        ++static_cast<Painter*>(user)->calls;
    }
};

TEST_F(X11Test, WhatTheDrawingCallbackPaintsShowsInTheWindow) {
    Window win = MakeWindow(0, 0, 640, 480);  // twice the picture: the overlay is scaled too
    CPlayVideo video;
    video.SetQueueLimits(1000, 0, 0);
    Painter painter;
    video.RegisterCallback(&Painter::Paint, &painter);
    video.InitVideoWindow(win, 320, 240, 1);
    Feed(video, 0, 25);
    EXPECT_EQ(painter.calls.load(), 25);
    auto image = Grab(win);
    Keep(image, "x11_draw_callback_overlay.png");
    EXPECT_TRUE(zyn_test::Near(image.At(80, 80), Rgb{255, 0, 255}, kTolerance));
    EXPECT_TRUE(zyn_test::Near(image.At(150, 150), zyn_test::kTopLeft, kTolerance));
    ExpectPattern(image, 24, "with overlay");
    RenderVideoStats s{};
    video.GetStats(&s);
    EXPECT_EQ(s.frames_drawn, 25u);
}

TEST_F(X11Test, WindowDestroyedWhileDrawingIsSurvived) {
    Window win = MakeWindow(0, 0, 320, 240);
    CPlayVideo video;
    video.SetQueueLimits(1000, 0, 0);
    video.InitVideoWindow(win, 320, 240, 1);
    const auto& stream = rk_test::Stream320x240();
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        for (size_t i = 0; !done; ++i) {
            const auto& f = stream[i % stream.size()];
            video.SendOneFrame1(f.data.data(), static_cast<int>(f.data.size()), static_cast<uint32_t>(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    ASSERT_TRUE(rk_test::WaitUntil([&] {
        RenderVideoStats s{};
        video.GetStats(&s);
        return s.frames_drawn > 5;
    }, kWait));
    XDestroyWindow(display_, win);
    XSync(display_, 0);
    RenderVideoStats at_destroy{};
    video.GetStats(&at_destroy);
    ASSERT_TRUE(rk_test::WaitUntil([&] {
        RenderVideoStats s{};
        video.GetStats(&s);
        return s.frames_decoded > at_destroy.frames_decoded + 50;
    }, kWait));
    // Drawing stopped (at most the picture in flight), decoding went on.
    RenderVideoStats later{};
    video.GetStats(&later);
    EXPECT_LE(later.frames_drawn, at_destroy.frames_drawn + 1);
    // A new window takes over.
    Window fresh = MakeWindow(0, 0, 320, 240);
    video.ChangeDisplayWnd(fresh, 0);
    ASSERT_TRUE(rk_test::WaitUntil([&] {
        RenderVideoStats s{};
        video.GetStats(&s);
        return s.frames_drawn > later.frames_drawn + 5;
    }, kWait));
    done = true;
    feeder.join();
    video.StopVideo();
}

TEST_F(X11Test, ScreenshotByImageMagickMatchesXGetImage) {
    if (std::system("command -v import > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ImageMagick";
    Window win = MakeWindow(0, 0, 320, 240);
    CPlayVideo video;
    video.SetQueueLimits(1000, 0, 0);
    video.InitVideoWindow(win, 320, 240, 1);
    Feed(video, 0, 42);
    const std::string path = rk_test::ArtifactPath("x11_import_screenshot.png");
    const std::string command = "import -window " + std::to_string(win) + " " + path + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto imported = rk_test::ReadImageWithFfmpeg(path);
    ExpectPattern(imported, 41, "import");
}

}  // namespace
