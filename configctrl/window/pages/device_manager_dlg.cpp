#include "configctrl/window/pages/device_manager_dlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/pages/dlg_update.h"
#include "configctrl/window/pages/page_kit.h"
#include "configctrl/window/tips_box.h"
#include "vendors/net_client.h"

namespace configctrl {

namespace {
constexpr uint32_t kQvReboot = 257, kQvRestore = 259;
constexpr int kZynRestoreWord = 6;  // the word of the SDK's default-parameter command

// NetClient reboot (37) or factory restore (53) of a LangChi device.
int LangChiDeviceCall(CLangChiDevice* d, bool restore) {
    auto lib = vendors::NetClientLib::Load();
    if (!lib) return 0;
    auto fn = restore ? lib->NetClient_Ord53 : lib->NetClient_Ord37;
    return fn ? fn(d->GetDeviceName(), d->GetHostName(), d->GetUserName(), d->GetPassword(),
                   d->GetPort())
              : 0;
}
}  // namespace

CDeviceManagerDlg::CDeviceManagerDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    auto* row = new QHBoxLayout;
    QPushButton* reset = MakeButton(this, 313, "Reset");
    QPushButton* restore = MakeButton(this, 314, "Restore default");
    QPushButton* update = MakeButton(this, 542, "update");
    QPushButton* reset_params = MakeButton(this, 0, "Reset parameters");
    reset_params->setObjectName("resetParameters");
    reset_params->setVisible(owner && owner->device_type() == kDeviceTypeZyn);
    for (QPushButton* b : {reset, restore, update, reset_params}) {
        b->setMinimumWidth(130);
        row->addWidget(b);
    }
    row->addStretch(1);
    outer->addLayout(row);
    outer->addStretch(1);
    connect(reset, &QPushButton::clicked, this, &CDeviceManagerDlg::OnReset);
    connect(restore, &QPushButton::clicked, this, &CDeviceManagerDlg::OnRestoreDefault);
    connect(update, &QPushButton::clicked, this, &CDeviceManagerDlg::OnUpdate);
    connect(reset_params, &QPushButton::clicked, this, &CDeviceManagerDlg::OnResetParameters);
    TranslateWindowTexts(this);
}

void CDeviceManagerDlg::OnReset() {
    CLangChiDevice* lc = LangChiOf(this);
    CANTSDevice* ants = AntsOf(this);
    CQVDevice* qv = QvOf(this);
    CZynDevice* zyn = ZynOf(this);
    if (!lc && !ants && !qv && !zyn) return;
    if (!CRHYesNoToAllDialog::Ask(this, "Are you sure you want to reset device")) return;
    bool ok = false;
    if (lc)
        ok = LangChiDeviceCall(lc, false) != 0;
    else if (ants)
        ok = ants->RebootDVR() != 0;
    else if (qv)
        ok = qv->SetQVConfig(0, kQvReboot, 0, nullptr, 0) == 0;
    else
        ok = zyn->Reboot() != 0;  // the SDK logs in again once the device is back
    CRHYesNoToAllDialog::Tell(this, ok ? "Has restarted" : "reboot failed");
}

void CDeviceManagerDlg::OnRestoreDefault() {
    CLangChiDevice* lc = LangChiOf(this);
    CANTSDevice* ants = AntsOf(this);
    CQVDevice* qv = QvOf(this);
    CZynDevice* zyn = ZynOf(this);
    if (!lc && !ants && !qv && !zyn) return;
    if (!CRHYesNoToAllDialog::Ask(this, "Are you sure you want to restore factory default")) return;
    bool ok = false;
    if (lc)
        ok = LangChiDeviceCall(lc, true) != 0;
    else if (ants)
        ok = ants->RestoreDefault(0, 0) != 0;
    else if (qv)
        ok = qv->SetQVConfig(0, kQvRestore, 0, nullptr, 0) == 0;
    else
        ok = zyn->RestoreDefault(0, kZynRestoreWord) != 0;
    CRHYesNoToAllDialog::Tell(this, ok ? "recovery factory settings success" : "recovery failed");
}

void CDeviceManagerDlg::OnUpdate() {
    if (CLangChiDevice* lc = LangChiOf(this)) {
        if (!update_)
            update_ = new CDlgUpdate(lc->GetHostName(), lc->GetUserName(), lc->GetPassword(),
                                     lc->GetPort(), this);
        update_->open();
    } else if (CANTSDevice* ants = AntsOf(this)) {
        if (!upgrade_) upgrade_ = new CDlgUpgrade(ants->LoginHandle(), this);
        upgrade_->open();
    } else if (CZynDevice* zyn = ZynOf(this)) {
        if (!zyn_upgrade_) zyn_upgrade_ = new CDlgZynUpgrade(zyn, this);
        zyn_upgrade_->open();
    }
}

void CDeviceManagerDlg::OnResetParameters() {
    CZynDevice* zyn = ZynOf(this);
    if (!zyn || !CRHYesNoToAllDialog::Ask(this, "Are you sure you want to reset parameters"))
        return;
    CRHYesNoToAllDialog::Tell(this, zyn->ResetParam() != 0 ? "Set success" : "Set failed");
}

}  // namespace configctrl
