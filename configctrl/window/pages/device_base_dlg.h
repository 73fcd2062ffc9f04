// The page "Device info" (dialog 211): the device's name (editable) and ID.
// Read on first activation; OK writes the name back without a message.
// Own-protocol devices show their serial number as the ID and, read-only,
// their channel and alarm counts and firmware; OK reports the write's result.
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
    QLineEdit *channels_, *alarm_inputs_, *alarm_outputs_, *firmware_;  // own protocol
    PageRecord record_;  // the vendor's device record; empty until first shown
};

}  // namespace configctrl
