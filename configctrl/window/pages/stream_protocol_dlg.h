// The page "transport protocol" (dialog 216).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CStreamProtocolDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 216;
    explicit CStreamProtocolDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
