// CDialogEx: the base of the configuration window, its pages and their small
// dialogs: a grey background (205, 205, 205), and Enter and Escape
// swallowed unless the window has a caption, so that pages and the
// frameless configuration window never close on them. Tooltips of the
// controls are Qt's own (setToolTip).
#pragma once

#include <QDialog>

namespace configctrl {

class CFrontSetDialog;

class CDialogEx : public QDialog {
    Q_OBJECT

public:
    // `dialog_id` becomes the object name ("dlg211"). A page (a parent and no
    // window flags) is a child widget, created hidden.
    CDialogEx(int dialog_id, QWidget* parent, Qt::WindowFlags flags = Qt::Widget);
    ~CDialogEx() override;

    int dialog_id() const { return dialog_id_; }

    // Called each time the page is shown (the window's switch protocol).
    virtual void OnPageActivated(quint32 wparam, quint32 lparam) = 0;
    // Counts the activations and calls OnPageActivated.
    void Activate(quint32 wparam, quint32 lparam);
    int activation_count() const { return activation_count_; }

    static constexpr int kBackgroundRed = 205, kBackgroundGreen = 205, kBackgroundBlue = 205;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool HasCaption() const;

private:
    int dialog_id_;
    int activation_count_ = 0;
};

// A page of the configuration window: a CDialogEx with the back pointer to
// the window (device, device type, counts).
class CPageDialog : public CDialogEx {
    Q_OBJECT

public:
    CPageDialog(int dialog_id, CFrontSetDialog* owner);
    CFrontSetDialog* owner() const { return owner_; }

private:
    CFrontSetDialog* owner_;
};

}  // namespace configctrl
