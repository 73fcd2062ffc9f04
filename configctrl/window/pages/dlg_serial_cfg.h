// The page "PTZ protocol" (dialog 685).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CDlgSerialCfg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 685;
    explicit CDlgSerialCfg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
