#include "configctrl/window/dialog_ex.h"

#include <QKeyEvent>

#include "configctrl/window/front_set_dialog.h"

namespace configctrl {

CDialogEx::CDialogEx(int dialog_id, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), dialog_id_(dialog_id) {
    // QDialog makes every widget a window of its own; a page is a child.
    if (flags == Qt::Widget && parent) setWindowFlags(Qt::Widget);
    setObjectName(QString("dlg%1").arg(dialog_id));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(kBackgroundRed, kBackgroundGreen, kBackgroundBlue));
    setPalette(pal);
    setAutoFillBackground(true);
    if (!isWindow()) hide();
}

CDialogEx::~CDialogEx() = default;

void CDialogEx::Activate(quint32 wparam, quint32 lparam) {
    ++activation_count_;
    OnPageActivated(wparam, lparam);
}

bool CDialogEx::HasCaption() const {
    return isWindow() && !(windowFlags() & Qt::FramelessWindowHint);
}

void CDialogEx::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) && !HasCaption()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

CPageDialog::CPageDialog(int dialog_id, CFrontSetDialog* owner)
    : CDialogEx(dialog_id, owner), owner_(owner) {}

}  // namespace configctrl
