// The page "Disk Management" (dialog 226).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CDlgHardDiskCfg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 226;
    explicit CDlgHardDiskCfg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
