// The page "video coding" (dialog 219).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CVideoCodingDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 219;
    explicit CVideoCodingDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
