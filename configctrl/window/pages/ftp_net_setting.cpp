#include "configctrl/window/pages/ftp_net_setting.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {
constexpr int kRead = 98, kWrite = 99, kBytes = 120;
constexpr int kEnable = 0, kHost = 4, kHostWidth = 32, kPort = 36;
constexpr int kUser = 40, kPassword = 80, kAccountWidth = 40;
}  // namespace

CFtpNetSetTing::CFtpNetSetTing(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    QPushButton* save = MakeButton(this, 315, "OK");
    QFormLayout* form = MakePageForm(this, save);
    enable_ = AddCheck(this, form, 320, "enable FTP");
    host_ = AddEdit(this, form, 694, "FTP host address:");
    port_ = AddEdit(this, form, 317, "FTP host port:");
    user_ = AddEdit(this, form, 318, "FTP users:");
    password_ = AddEdit(this, form, 319, "FTP password:", true);
    connect(save, &QPushButton::clicked, this, &CFtpNetSetTing::OnSave);
    TranslateWindowTexts(this);
}

void CFtpNetSetTing::OnPageActivated(quint32, quint32) {
    if (!record_.empty()) return;
    CLangChiDevice* lc = LangChiOf(this);
    if (!lc) return;
    record_ = PageRecord(kBytes);
    if (!LangChiRead(lc, kRead, record_)) return;
    user_->setText(record_.Text(kUser, kAccountWidth));
    password_->setText(record_.Text(kPassword, kAccountWidth));
    host_->setText(record_.Text(kHost, kHostWidth));
    port_->setText(Num(record_.I32(kPort)));
    enable_->setChecked(record_.I32(kEnable) != 0);
}

void CFtpNetSetTing::OnSave() {
    CLangChiDevice* lc = LangChiOf(this);
    bool ok = false;
    if (lc && !record_.empty()) {
        record_.SetI32(kPort, port_->text().toInt());
        record_.SetI32(kEnable, enable_->isChecked() ? 1 : 0);
        record_.SetText(kUser, kAccountWidth, user_->text());
        record_.SetText(kPassword, kAccountWidth, password_->text());
        record_.SetText(kHost, kHostWidth, host_->text());
        ok = LangChiWrite(lc, kWrite, record_);
    }
    CRHYesNoToAllDialog::Tell(this, ok ? "Set success" : "Set failed");
}

}  // namespace configctrl
