// The page "Storage devices" (dialog 701).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CStorageDeviceDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 701;
    explicit CStorageDeviceDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
