// The page "IP address and port" (dialog 213).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CNetIPParamDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 213;
    explicit CNetIPParamDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
