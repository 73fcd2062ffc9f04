// The page "IP Chan Manage" (dialog 230).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CDlgRemoteIPAccess : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 230;
    explicit CDlgRemoteIPAccess(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
