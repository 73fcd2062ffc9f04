// Whether a screen saver is running on the X display (MIT-SCREEN-SAVER).
#pragma once

namespace zyn {
// Keeps its own display connection, opened on first use by the calling
// thread's object. "Not running" when there is no display.
class ScreenSaverProbe {
public:
    ScreenSaverProbe();
    ~ScreenSaverProbe();
    ScreenSaverProbe(const ScreenSaverProbe&) = delete;
    ScreenSaverProbe& operator=(const ScreenSaverProbe&) = delete;
    bool Running();

private:
    void* display_ = nullptr;
    bool tried_ = false;
    bool has_extension_ = false;
};
}  // namespace zyn
