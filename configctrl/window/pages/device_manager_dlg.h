// The page "device manage" (dialog 222): restart, factory defaults and the
// firmware update of the device's maker (CDlgUpdate for LangChi devices,
// CDlgUpgrade for ANTS devices, CDlgZynUpgrade for the own protocol's).
// Own-protocol devices also get "Reset parameters" (the device's parameter
// reset, which keeps it running).
#pragma once

#include <QPointer>

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/dlg_update.h"

namespace configctrl {

class CDeviceManagerDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 222;
    explicit CDeviceManagerDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32, quint32) override {}

    void OnReset();
    void OnRestoreDefault();
    void OnUpdate();
    void OnResetParameters();
    // The open update dialog of each kind (null when none).
    CDlgUpdate* update_dialog() const { return update_; }
    CDlgUpgrade* upgrade_dialog() const { return upgrade_; }
    CDlgZynUpgrade* zyn_upgrade_dialog() const { return zyn_upgrade_; }

private:
    QPointer<CDlgUpdate> update_;
    QPointer<CDlgUpgrade> upgrade_;
    QPointer<CDlgZynUpgrade> zyn_upgrade_;
};

}  // namespace configctrl
