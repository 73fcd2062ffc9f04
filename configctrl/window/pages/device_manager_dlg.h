// The page "device manage" (dialog 222).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CDeviceManagerDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 222;
    explicit CDeviceManagerDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
