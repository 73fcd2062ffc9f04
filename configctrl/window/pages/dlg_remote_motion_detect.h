// The page "motion detection (ANTS)" (dialog 652).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CDlgRemoteMotionDetect : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 652;
    explicit CDlgRemoteMotionDetect(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
