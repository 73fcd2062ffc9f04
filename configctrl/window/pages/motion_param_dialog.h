// The page "motion detection (LangChi)" (dialog 653).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CMotionParamDialog : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 653;
    explicit CMotionParamDialog(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
