// The page "Ftp settings" (dialog 229).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CFtpNetSetTing : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 229;
    explicit CFtpNetSetTing(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
