// The page "Character overlay" (dialog 220).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CVideoParamDialog : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 220;
    explicit CVideoParamDialog(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
