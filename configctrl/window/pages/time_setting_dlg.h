// The page "time setting" (dialog 212).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CTimeSettingDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 212;
    explicit CTimeSettingDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
