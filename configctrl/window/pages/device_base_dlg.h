// The page "Device info" (dialog 211).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CDeviceBaseDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 211;
    explicit CDeviceBaseDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
