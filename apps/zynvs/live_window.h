// The window of `zynvs live --window`: one top-level X11 window with one
// child window per channel (one channel fills it, several share it in a
// grid) into which the SDK draws each channel's live video itself.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zynvs_app {

class LiveWindow {
public:
    enum class Key { kSnapshot, kMute, kQuit };

    LiveWindow();
    ~LiveWindow();
    LiveWindow(const LiveWindow&) = delete;
    LiveWindow& operator=(const LiveWindow&) = delete;

    // Opens and maps the window; false with the reason when there is no display.
    bool Open(const std::string& title, int channels, std::string* why);
    // The native window id for channel slot i (0 when not open).
    unsigned long channel_window(int i) const;
    unsigned long window() const;
    // Handles what the window got since the last call (resizes, closing)
    // and returns the keys pressed; closing the window counts as kQuit.
    std::vector<Key> Poll();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zynvs_app
