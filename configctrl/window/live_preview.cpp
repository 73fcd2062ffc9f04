#include "configctrl/window/live_preview.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>

#include <cstring>
#include <utility>

#include "configctrl/device/device.h"

namespace configctrl {

// The native window the SDK draws into: Qt must neither paint it nor fill
// its background.
class CVideoSurface : public QWidget {
public:
    explicit CVideoSurface(QWidget* parent) : QWidget(parent) {
        setObjectName("video_surface");
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {}
};

// The drawing layer: a native child shaped to its opaque pixels.
class CPreviewOverlay : public QWidget {
public:
    explicit CPreviewOverlay(QWidget* parent) : QWidget(parent) {
        setObjectName("preview_overlay");
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    void SetImage(QImage image) {
        image_ = std::move(image);
        const QBitmap shape = QBitmap::fromImage(image_.createAlphaMask());
        const QRegion region(shape);
        if (region.isEmpty()) {
            hide();
            return;
        }
        setMask(region);
        show();
        raise();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(0, 0, image_);
    }

private:
    QImage image_;
};

CLivePreview::CLivePreview(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    surface_ = new CVideoSurface(this);
    surface_->hide();
    overlay_ = new CPreviewOverlay(this);
    overlay_->hide();
    surface_->installEventFilter(this);
    overlay_->installEventFilter(this);
}

CLivePreview::~CLivePreview() {
    Stop();
}

QWidget* CLivePreview::overlay() const {
    return overlay_;
}

QImage CLivePreview::ParsePicture(const uint8_t* data, int length) {
    constexpr int kHeaderBytes = 8, kMaxSide = 4096;
    if (data == nullptr || length < kHeaderBytes) return {};
    const int width = data[0] | data[1] << 8, height = data[2] | data[3] << 8;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return {};
    if (length - kHeaderBytes < width * height) return {};
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), data + kHeaderBytes + y * width, width);
    return image;
}

bool CLivePreview::Start(CDevice* device, int channel) {
    if (device_ != nullptr && (device_ != device || channel_ != channel)) Stop();
    const bool shown_here = device_ != nullptr;  // started by this preview before
    if (device == nullptr || channel < 0 || channel >= kMaxChannels) return false;
    sdk_draws_ = device->type() == kDeviceTypeZyn;
    surface_->setVisible(sdk_draws_);
    surface_->lower();
    {
        std::lock_guard<std::mutex> lock(mu_);
        wanted_channel_ = channel;
        latest_ = QImage();
    }
    if (!sdk_draws_) device->SetPictureCallback(&CLivePreview::OnPicture, this);
    const uintptr_t window = static_cast<uintptr_t>(sdk_draws_ ? surface_->winId() : winId());
    bool ok = false;
    // A device that cannot move a play it started for this preview keeps it.
    if (device->GetChannelPlayFlag(channel) == 1)
        ok = device->ChangeWindow(channel, window, 1) != 0 || shown_here;
    if (!ok) {
        ok = device->RealPlay(channel, window, 1, 0) != 0;
        if (ok) device->SetChannelPlayFlag(channel, 1);
    }
    if (!ok) {
        if (!sdk_draws_) device->SetPictureCallback(nullptr, nullptr);
        device_ = nullptr;
        channel_ = -1;
        update();
        return false;
    }
    device_ = device;
    channel_ = channel;
    overlay_->raise();
    update();
    return true;
}

void CLivePreview::Stop() {
    if (device_ == nullptr) return;
    CDevice* device = std::exchange(device_, nullptr);
    if (!sdk_draws_) device->SetPictureCallback(nullptr, nullptr);  // waits for a running call
    device->StopRealPlay(channel_);
    device->SetChannelPlayFlag(channel_, 0);
    {
        std::lock_guard<std::mutex> lock(mu_);
        wanted_channel_ = -1;
        latest_ = QImage();
    }
    channel_ = -1;
    shown_ = QImage();
    surface_->hide();
    update();
}

// On a vendor thread: keeps the picture and queues one ShowLatest; a call
// still queued when the preview goes is dropped with it.
void CLivePreview::OnPicture(int ch, const uint8_t* data, int length, void* user) {
    auto* self = static_cast<CLivePreview*>(user);
    QImage picture = ParsePicture(data, length);
    if (picture.isNull()) return;
    std::lock_guard<std::mutex> lock(self->mu_);
    if (ch != self->wanted_channel_) return;
    self->latest_ = std::move(picture);
    if (self->posted_) return;
    self->posted_ = true;
    QMetaObject::invokeMethod(
        self, [self] { self->ShowLatest(); }, Qt::QueuedConnection);
}

void CLivePreview::ShowLatest() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        posted_ = false;
        if (latest_.isNull()) return;
        shown_ = latest_;
    }
    ++pictures_shown_;
    update();
}

void CLivePreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (shown_.isNull() || sdk_draws_)
        p.fillRect(rect(), Qt::black);
    else
        p.drawImage(rect(), shown_);
}

void CLivePreview::SetOverlayPainter(OverlayPainter painter) {
    painter_ = std::move(painter);
    UpdateOverlay();
}

void CLivePreview::UpdateOverlay() {
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (painter_ && !image.isNull()) {
        QPainter p(&image);
        painter_(p);
    }
    overlay_->SetImage(std::move(image));
}

void CLivePreview::resizeEvent(QResizeEvent*) {
    surface_->setGeometry(rect());
    overlay_->setGeometry(rect());
    UpdateOverlay();
}

bool CLivePreview::Mouse(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->type() == QEvent::MouseButtonPress && event->button() == Qt::LeftButton) {
        emit Pressed(at);
        return true;
    }
    if (event->type() == QEvent::MouseMove && (event->buttons() & Qt::LeftButton)) {
        emit Dragged(at);
        return true;
    }
    return false;
}

void CLivePreview::mousePressEvent(QMouseEvent* event) {
    if (!Mouse(event)) QWidget::mousePressEvent(event);
}

void CLivePreview::mouseMoveEvent(QMouseEvent* event) {
    if (!Mouse(event)) QWidget::mouseMoveEvent(event);
}

// The surface and the overlay cover the preview exactly: their positions
// are the preview's.
bool CLivePreview::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == surface_ || watched == overlay_) &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove))
        return Mouse(static_cast<QMouseEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

}  // namespace configctrl
