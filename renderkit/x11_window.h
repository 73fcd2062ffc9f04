// Draws BGRA pictures into a host's X11 window. Each object owns its own
// display connection, opened lazily on Bind and used only by the thread that
// calls it (the player's decode thread). X protocol errors on our connections
// (a window destroyed under us, a bad id) are caught by a process-wide error
// handler that records them instead of ending the process; errors on other
// connections go to the handler that was installed before ours.
#pragma once

#include <cstdint>
#include <memory>

namespace renderkit {

class X11WindowTarget {
public:
    X11WindowTarget();
    ~X11WindowTarget();
    X11WindowTarget(const X11WindowTarget&) = delete;
    X11WindowTarget& operator=(const X11WindowTarget&) = delete;

    // Binds to `window` (0 unbinds). Opens the display (DISPLAY) if needed.
    // False when there is no display, the window does not exist or its visual
    // is not a 24/32-bit TrueColor one; drawing is then skipped.
    bool Bind(unsigned long window);
    unsigned long window() const;
    bool usable() const;

    // Reads pending events of the window. True when the window was exposed or
    // resized, i.e. the last picture should be drawn again.
    bool PollEvents();

    // A BGRA buffer of the window's current size to draw the next picture
    // into, or null when nothing can be drawn (no window, zero size).
    uint8_t* BeginFrame(int* width, int* height, int* stride);
    // Puts the buffer into the window and waits until the server has read it.
    // False when the window went away (the target is then unusable until the
    // next Bind).
    bool EndFrame();

    // Paints the window black.
    void Clear();

    // Closes the display connection (Bind opens it again).
    void Shutdown();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace renderkit
