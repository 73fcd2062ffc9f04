// The page "DDNS settings" (dialog 215): the provider list of the device's
// maker, domain name, user name and password.
#pragma once

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QComboBox;
class QLineEdit;

namespace configctrl {

class CDdnsSettingDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 215;
    explicit CDdnsSettingDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
    void OnProviderChanged(int index);
    void OnSave();

private:
    QComboBox* provider_;
    QLineEdit* domain_;
    QLineEdit* user_;
    QLineEdit* password_;
    PageRecord record_;
};

}  // namespace configctrl
