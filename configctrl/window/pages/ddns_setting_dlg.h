// The page "DDNS settings" (dialog 215).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CDdnsSettingDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 215;
    explicit CDdnsSettingDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
