// The page "user manage" (dialog 210).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CUserManagerDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 210;
    explicit CUserManagerDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
