// The live video of one channel of the window's device inside a page, with
// a drawing layer over it.
//
// Two ways a picture gets here:
// - vendor libraries that hand decoded pictures to the device (CDevice's
//   picture callback; the emulated libraries do): the preview keeps the
//   latest picture of its channel, is told by a queued call, and paints it
//   scaled to its size. The callback never touches the widget.
// - own-protocol devices (type 1): the SDK decodes the H.264 stream and
//   draws it itself into the preview's native video surface, whose window
//   id goes to RealPlay.
//
// Playing state (the device's per-channel play flag): a channel that is
// already playing is moved here (ChangeWindow; when the device cannot move
// it, it is started again); otherwise it is started and its flag set. Stop()
// stops the channel, which clears the flag.
//
// The overlay is a native child window above the video, shaped (X11 SHAPE,
// through QWidget::setMask) to exactly the pixels the page paints on it: the
// drawing shows over the SDK's X11 drawing as well as over the painted
// pictures, and presses outside the drawing reach the video below. Mouse
// presses and drags anywhere in the preview come out as Pressed and Dragged
// in preview coordinates.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <mutex>

namespace configctrl {

class CDevice;
class CPreviewOverlay;

class CLivePreview : public QWidget {
    Q_OBJECT

public:
    explicit CLivePreview(QWidget* parent);
    ~CLivePreview() override;

    // Shows `channel` of `device` (null: nothing). False when the device
    // could not start the channel.
    bool Start(CDevice* device, int channel);
    // Stops the channel shown and removes the picture callback; nothing when
    // nothing is shown. The window calls it on every preview before its
    // device goes.
    void Stop();
    int channel() const { return channel_; }
    bool playing() const { return device_ != nullptr; }

    // What the page draws over the video, in preview coordinates; opaque
    // colours only (the overlay's shape takes the drawn pixels, alpha >= 128).
    using OverlayPainter = std::function<void(QPainter&)>;
    void SetOverlayPainter(OverlayPainter painter);
    // Runs the painter again and reshapes the overlay (hidden when empty).
    void UpdateOverlay();
    QWidget* overlay() const;

    // Pictures painted from the device's picture callback, and the last one.
    int pictures_shown() const { return pictures_shown_; }
    QImage last_picture() const { return shown_; }

    // A picture in the callback's layout as a grey image; a null image for
    // bytes that do not hold one (short, zero or huge sizes).
    static QImage ParsePicture(const uint8_t* data, int length);

signals:
    void Pressed(QPoint at);  // left button
    void Dragged(QPoint at);  // moves with the left button held

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void OnPicture(int ch, const uint8_t* data, int length, void* user);
    void ShowLatest();
    bool Mouse(QMouseEvent* event);

    CDevice* device_ = nullptr;  // null when not playing
    int channel_ = -1;
    bool sdk_draws_ = false;  // type 1: the surface shows the video

    std::mutex mu_;
    QImage latest_;            // guarded by mu_: the newest picture of the channel
    bool posted_ = false;      // guarded by mu_: a ShowLatest is queued
    int wanted_channel_ = -1;  // guarded by mu_

    QImage shown_;  // the UI thread's copy
    int pictures_shown_ = 0;
    QWidget* surface_;
    CPreviewOverlay* overlay_;
    OverlayPainter painter_;
};

}  // namespace configctrl
