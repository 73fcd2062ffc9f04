// The page "Ftp record" (dialog 214).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CFtpRecoderDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 214;
    explicit CFtpRecoderDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
