// The page "Wireless settings" (dialog 207).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CWifiSetDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 207;
    explicit CWifiSetDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
