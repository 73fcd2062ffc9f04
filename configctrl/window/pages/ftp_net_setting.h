// The page "Ftp settings" (dialog 229, LangChi devices): the FTP server the
// device uploads to.
#pragma once

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QCheckBox;
class QLineEdit;

namespace configctrl {

class CFtpNetSetTing : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 229;
    explicit CFtpNetSetTing(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
    void OnSave();

private:
    QCheckBox* enable_;
    QLineEdit *user_, *password_, *host_, *port_;
    PageRecord record_;
};

}  // namespace configctrl
