// The page "sensor alarm (LangChi)" (dialog 217).
#pragma once

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

class CSensorParamDialog : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 217;
    explicit CSensorParamDialog(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
};

}  // namespace configctrl
