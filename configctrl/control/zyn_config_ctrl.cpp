#include "configctrl/control/zyn_config_ctrl.h"

#include <QMessageBox>
#include <QPainter>
#include <QWindow>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/control/module_dir.h"
#include "configctrl/control/registration.h"
#include "configctrl/device/device.h"
#include "configctrl/device/device_counts.h"
#include "configctrl/window/front_set_dialog.h"

namespace configctrl {

CZynConFigCtrlCtrl::CZynConFigCtrlCtrl(QWidget* parent) : QWidget(parent), window_(MakeWindow()) {
    setObjectName("ZynConFigCtrl");
}

std::unique_ptr<CFrontSetDialog> CZynConFigCtrlCtrl::MakeWindow() {
    if (!host_window_) return std::make_unique<CFrontSetDialog>(this);
    auto window = std::make_unique<CFrontSetDialog>(nullptr);
    window->winId();
    window->windowHandle()->setTransientParent(host_window_);
    return window;
}

void CZynConFigCtrlCtrl::SetHostWindow(QWindow* host) {
    host_window_ = host;
    if (window_->pages().empty()) window_ = MakeWindow();
}

CZynConFigCtrlCtrl::~CZynConFigCtrlCtrl() {
    delete about_;
    window_.reset();  // stops live video, logs out, deletes the device
}

bool CZynConFigCtrlCtrl::LoginDevice(const QByteArray& sername, const QByteArray& serurl,
                                     int serport, const QByteArray& username,
                                     const QByteArray& password, int iType) {
    // A second call: the window of the first device goes (logging it out)
    // and a new one takes its place.
    if (!window_->pages().empty()) {
        const QRect old_geometry = window_->geometry();
        window_.reset();
        window_ = MakeWindow();
        window_->setGeometry(old_geometry);
    }
    window_->SetCounts(0, 0, 0);

    auto dictionary = std::make_unique<LanguageDictionary>();
    dictionary->Load(ModuleDir());
    SetDictionary(std::move(dictionary));

    std::unique_ptr<CDevice> device = CreateDevice(iType);
    if (device) {
        device->SetDeviceName(sername.constData());
        device->SetAddress(serurl.constData());
        device->SetHostName(serurl.constData());
        device->SetPort(serport);
        // Our own devices take their streams on the port after the control
        // port (as zyn-devsim does), and the SDK sizes its channels at login:
        // room for every channel until the counts are known.
        if (iType == kDeviceTypeZyn) {
            device->SetSecondPort(serport + 1);
            device->SetChannelCount(kMaxChannels);
        }
        device->SetUserName(username.constData());
        device->SetPassword(password.constData());
        const DeviceCounts c = device->Login() ? QueryDeviceCounts(*device) : DeviceCounts{};
        window_->SetCounts(c.channels, c.alarm_inputs, c.alarm_outputs);
        device->SetChannelCount(c.channels);
    }
    window_->SetDevice(std::move(device), iType);
    window_->Create();
    if (isVisible()) window_->setGeometry(QRect(mapToGlobal(QPoint(0, 0)), size()));
    window_->show();
    return true;
}

void CZynConFigCtrlCtrl::MoveWindow(short left, short right, short top, short bpttom) {
    if (!window_) return;
    window_->setGeometry(left, top, right - left, bpttom - top);
    window_->update();
}

QString CZynConFigCtrlCtrl::AboutText() {
    namespace r = registration;
    return QString(
               "%1, version %2.%3\n\n"
               "Control: %4 %5\n"
               "Property page: %6 %7\n"
               "Type library: %8 %9, version %10.%11\n"
               "Dispatch interface: %12 %13\n"
               "Event interface: %14 %15")
        .arg(r::kControlTypeName)
        .arg(r::kControlVersionMajor)
        .arg(r::kControlVersionMinor)
        .arg(r::kControlProgId, r::kControlClassId, r::kPropertyPageProgId, r::kPropertyPageClassId,
             r::kTypeLibraryName, r::kTypeLibraryId)
        .arg(r::kTypeLibraryVersionMajor)
        .arg(r::kTypeLibraryVersionMinor)
        .arg(r::kDispatchInterfaceName, r::kDispatchInterfaceId, r::kEventInterfaceName,
             r::kEventInterfaceId);
}

void CZynConFigCtrlCtrl::AboutBox() {
    if (about_) {
        about_->raise();
        return;
    }
    about_ = new QMessageBox(QMessageBox::Information, Tr("About ZynConFigCtrl"), AboutText(),
                             QMessageBox::Ok, host_window_ ? nullptr : this);
    about_->setObjectName("AboutBox");
    if (host_window_) {
        about_->winId();
        about_->windowHandle()->setTransientParent(host_window_);
    }
    about_->setAttribute(Qt::WA_DeleteOnClose);
    about_->open();
}

void CZynConFigCtrlCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawEllipse(rect().adjusted(0, 0, -1, -1));
}

}  // namespace configctrl
