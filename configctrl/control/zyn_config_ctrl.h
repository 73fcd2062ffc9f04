// CZynConFigCtrlCtrl: the configuration control. A host creates it, places
// it, and calls LoginDevice once with one device's address, credentials and
// vendor type; the control logs in, reads the device's counts and opens the
// configuration window over its own area. The control itself draws a white
// area with an inscribed ellipse, seen only where the window does not cover it.
//
// GUI thread only (the host's). A second LoginDevice logs the first device
// out and replaces the window with a new one.
#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class QMessageBox;
class QWindow;

namespace configctrl {

class CFrontSetDialog;

class CZynConFigCtrlCtrl : public QWidget {
    Q_OBJECT

public:
    explicit CZynConFigCtrlCtrl(QWidget* parent = nullptr);
    ~CZynConFigCtrlCtrl() override;

    // Runs the login sequence and shows the configuration window. Always
    // true: a failed login shows only in the window. Texts are 8-bit strings
    // in the system code page.
    Q_INVOKABLE bool LoginDevice(const QByteArray& sername, const QByteArray& serurl, int serport,
                                 const QByteArray& username, const QByteArray& password, int iType);
    // Moves the configuration window to x = left, y = top, width = right -
    // left, height = bpttom - top (screen coordinates; note the order).
    Q_INVOKABLE void MoveWindow(short left, short right, short top, short bpttom);
    // Shows the control's name, version and registration identifiers in a
    // box that closes on OK (does not block).
    Q_INVOKABLE void AboutBox();

    // The text AboutBox shows.
    static QString AboutText();

    CFrontSetDialog* window() const { return window_.get(); }

    // For a control inside a window of another toolkit (the C interface):
    // the host's top-level window, which the configuration window then stays
    // above instead of the control's own.
    void SetHostWindow(QWindow* host);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<CFrontSetDialog> MakeWindow();

    QPointer<QWindow> host_window_;
    std::unique_ptr<CFrontSetDialog> window_;
    QPointer<QMessageBox> about_;
};

}  // namespace configctrl
