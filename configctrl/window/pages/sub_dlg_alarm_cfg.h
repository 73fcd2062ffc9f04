// The page "sensor alarm (ANTS)" (dialog 224).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CSubDlgAlarmCfg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 224;
    explicit CSubDlgAlarmCfg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
