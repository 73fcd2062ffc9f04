// The page "Device info" (dialog 211): the device's name (editable) and ID.
// Read on first activation; OK writes the name back without a message.
#pragma once

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QLineEdit;

namespace configctrl {

class CDeviceBaseDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 211;
    explicit CDeviceBaseDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
    void OnOK();

private:
    QLineEdit* name_;
    QLineEdit* id_;
    PageRecord record_;  // the vendor's device record; empty until first shown
};

}  // namespace configctrl
