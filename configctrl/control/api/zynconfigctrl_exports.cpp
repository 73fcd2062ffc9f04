// The C interface of libZynConFigCtrl.so over CZynConFigCtrlCtrl.
#include "zynvs/ZynConFigCtrl.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QWindow>

#include <set>

#include "configctrl/control/zyn_config_ctrl.h"
#include "configctrl/window/front_set_dialog.h"

using configctrl::CZynConFigCtrlCtrl;

struct ZynConFigCtrl {
    CZynConFigCtrlCtrl* widget = nullptr;
    QWindow* foreign_parent = nullptr;  // the host's window, wrapped
};

namespace {

// Guarded by being used on the GUI thread only.
struct State {
    std::set<ZynConFigCtrl*> controls;
    QApplication* own_app = nullptr;  // made here when the host had none
};

State& S() {
    static State s;
    return s;
}

bool OnGuiThread() {
    return QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

bool Valid(ZynConFigCtrl* ctrl) {
    return ctrl && OnGuiThread() && S().controls.count(ctrl);
}

bool EnsureApplication() {
    if (QCoreApplication::instance()) return qobject_cast<QApplication*>(qApp) != nullptr;
    // Qt ends the process when it cannot reach a display; answer null instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return false;
    static int argc = 1;
    static char name[] = "ZynConFigCtrl";
    static char* argv[] = {name, nullptr};
    S().own_app = new QApplication(argc, argv);
    return true;
}

}  // namespace

extern "C" {

ZYNVS_API ZynConFigCtrl* ZYNVS_CALL ZYNCFG_Create(ZYNVS_WND parent, int x, int y, int width,
                                                  int height) {
    try {
        if (!EnsureApplication() || !OnGuiThread()) return nullptr;
        auto* ctrl = new ZynConFigCtrl;
        ctrl->widget = new CZynConFigCtrlCtrl;
        ctrl->widget->setGeometry(x, y, width, height);
        ctrl->widget->show();
        if (parent != 0) {
            // The control's own window becomes a child of the host's.
            ctrl->foreign_parent = QWindow::fromWinId(static_cast<WId>(parent));
            if (ctrl->foreign_parent && ctrl->widget->windowHandle()) {
                ctrl->widget->windowHandle()->setParent(ctrl->foreign_parent);
                ctrl->widget->windowHandle()->setPosition(x, y);
                ctrl->widget->SetHostWindow(ctrl->foreign_parent);
            }
        }
        S().controls.insert(ctrl);
        return ctrl;
    } catch (...) {
        return nullptr;
    }
}

ZYNVS_API int ZYNVS_CALL ZYNCFG_LoginDevice(ZynConFigCtrl* ctrl, const char* sername,
                                            const char* serurl, int serport, const char* username,
                                            const char* password, int iType) {
    if (!Valid(ctrl)) return 0;
    auto text = [](const char* s) { return QByteArray(s ? s : ""); };
    return ctrl->widget->LoginDevice(text(sername), text(serurl), serport, text(username),
                                     text(password), iType)
               ? 1
               : 0;
}

ZYNVS_API int ZYNVS_CALL ZYNCFG_MoveWindow(ZynConFigCtrl* ctrl, short left, short right, short top,
                                           short bpttom) {
    if (!Valid(ctrl)) return 0;
    ctrl->widget->MoveWindow(left, right, top, bpttom);
    return 1;
}

ZYNVS_API int ZYNVS_CALL ZYNCFG_AboutBox(ZynConFigCtrl* ctrl) {
    if (!Valid(ctrl)) return 0;
    ctrl->widget->AboutBox();
    return 1;
}

ZYNVS_API ZYNVS_WND ZYNVS_CALL ZYNCFG_GetConfigWindow(ZynConFigCtrl* ctrl) {
    if (!Valid(ctrl) || !ctrl->widget->window() || ctrl->widget->window()->pages().empty())
        return 0;
    return static_cast<ZYNVS_WND>(ctrl->widget->window()->winId());
}

ZYNVS_API int ZYNVS_CALL ZYNCFG_ProcessEvents(int max_ms) {
    if (!OnGuiThread()) return 0;
    QCoreApplication::processEvents(QEventLoop::AllEvents, max_ms < 0 ? 0 : max_ms);
    return 1;
}

ZYNVS_API int ZYNVS_CALL ZYNCFG_Destroy(ZynConFigCtrl* ctrl) {
    if (!Valid(ctrl)) return 0;
    S().controls.erase(ctrl);
    delete ctrl->widget;
    delete ctrl->foreign_parent;
    delete ctrl;
    if (S().controls.empty() && S().own_app) {
        delete S().own_app;
        S().own_app = nullptr;
    }
    return 1;
}

}  // extern "C"
