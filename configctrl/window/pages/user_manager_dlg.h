// The page "user manage" (dialog 210): the master user and two common users
// with their passwords, each password entered twice.
#pragma once

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QLineEdit;

namespace configctrl {

class CUserManagerDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 210;
    explicit CUserManagerDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
    void OnSave();

private:
    static constexpr int kUsers = 3;  // master, user 1, user 2
    QLineEdit* name_[kUsers];
    QLineEdit* password_[kUsers];
    QLineEdit* again_[kUsers];
    PageRecord record_;
};

}  // namespace configctrl
