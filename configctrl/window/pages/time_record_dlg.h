// The page "Timer Record" (dialog 228).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CTimeRecordDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 228;
    explicit CTimeRecordDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
