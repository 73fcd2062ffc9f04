#include "configctrl/window/pages/ddns_setting_dlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {
constexpr int kLcRead = 78, kLcWrite = 79, kLcBytes = 100;
constexpr int kLcUser = 8, kLcPassword = 28, kLcDomain = 48;
constexpr int kAntsRead = 142, kAntsWrite = 242, kAntsBytes = 1900;
constexpr int kAntsEnable = 0, kAntsProvider = 1, kAntsPassword = 36, kAntsDomain = 52;
constexpr int kAntsUser = 116, kAntsText = 32;
// The password ends where the domain name begins.
constexpr int kAntsPasswordWidth = kAntsDomain - kAntsPassword;
constexpr uint32_t kQvRead = 0x10000022;
constexpr int kQvBytes = 124, kQvUser = 12, kQvPassword = 44, kQvDomain = 76;

const std::vector<const char*>& Providers(int type) {
    // The second QV entry is the 3322 service's domain.
    static const std::vector<const char*> kQv = {"disable", "3322.org",    "dyndns", "perfecteyes",
                                                 "nvrddns", "nightowldvr", "no-ip",  "greatek"};
    static const std::vector<const char*> kAnts = {"disable", "perfecteyes", "Dyndns", "PeanutHull",
                                                   "no-ip"};
    static const std::vector<const char*> kLc = {"disable", "perfecteyes", "3322", "dyndns",
                                                 "CamanyWhere"};
    static const std::vector<const char*> kNone;
    return type == kDeviceTypeQv        ? kQv
           : type == kDeviceTypeAnts    ? kAnts
           : type == kDeviceTypeLangChi ? kLc
                                        : kNone;
}
}  // namespace

CDdnsSettingDlg::CDdnsSettingDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    QPushButton* save = MakeButton(this, 296, "OK");
    QFormLayout* form = MakePageForm(this, save);
    provider_ = AddCombo(this, form, 267, "DDNS choose",
                         Providers(owner && owner->device() ? owner->device_type() : -1));
    domain_ = AddEdit(this, form, 270, "domain name");
    user_ = AddEdit(this, form, 271, "DDNS Name");
    password_ = AddEdit(this, form, 272, "DDNS PSW", true);
    connect(provider_, &QComboBox::currentIndexChanged, this, &CDdnsSettingDlg::OnProviderChanged);
    connect(save, &QPushButton::clicked, this, &CDdnsSettingDlg::OnSave);
    TranslateWindowTexts(this);
}

void CDdnsSettingDlg::OnPageActivated(quint32, quint32) {
    if (!record_.empty()) return;
    if (CLangChiDevice* lc = LangChiOf(this)) {
        record_ = PageRecord(kLcBytes);
        if (!LangChiRead(lc, kLcRead, record_)) return;
        domain_->setText(record_.Text(kLcDomain, 50));
        user_->setText(record_.Text(kLcUser, 20));
        password_->setText(record_.Text(kLcPassword, 20));
    } else if (CANTSDevice* ants = AntsOf(this)) {
        record_ = PageRecord(kAntsBytes);
        if (!AntsRead(ants, kAntsRead, record_)) return;
        const int shown = record_[kAntsEnable] ? record_[kAntsProvider] + 1 : 0;
        if (shown < provider_->count()) provider_->setCurrentIndex(shown);
        domain_->setText(record_.Text(kAntsDomain, kAntsText));
        user_->setText(record_.Text(kAntsUser, kAntsText));
        password_->setText(record_.Text(kAntsPassword, kAntsPasswordWidth));
    } else if (CQVDevice* qv = QvOf(this)) {
        record_ = PageRecord(kQvBytes);
        if (!QvRead(qv, kQvRead, record_)) return;
        domain_->setText(record_.Text(kQvDomain, kQvBytes - kQvDomain));
        user_->setText(record_.Text(kQvUser, kQvPassword - kQvUser));
        password_->setText(record_.Text(kQvPassword, kQvDomain - kQvPassword));
    }
}

void CDdnsSettingDlg::OnProviderChanged(int index) {
    if (!AntsOf(this) || record_.empty() || index < 0) return;
    record_[kAntsEnable] = index == 0 ? 0 : 1;
    if (index > 0) record_[kAntsProvider] = static_cast<uint8_t>(index - 1);
}

void CDdnsSettingDlg::OnSave() {
    bool ok = false;
    if (CLangChiDevice* lc = LangChiOf(this); lc && !record_.empty()) {
        record_.SetText(kLcDomain, 50, domain_->text());
        record_.SetText(kLcUser, 20, user_->text());
        record_.SetText(kLcPassword, 20, password_->text());
        ok = LangChiWrite(lc, kLcWrite, record_);
    } else if (CANTSDevice* ants = AntsOf(this); ants && !record_.empty()) {
        record_.SetText(kAntsDomain, kAntsText, domain_->text());
        record_.SetText(kAntsUser, kAntsText, user_->text());
        record_.SetText(kAntsPassword, kAntsPasswordWidth, password_->text());
        ok = AntsWrite(ants, kAntsWrite, record_);
    }
    CRHYesNoToAllDialog::Tell(this, ok ? "Set success" : "Set failed");
}

}  // namespace configctrl
