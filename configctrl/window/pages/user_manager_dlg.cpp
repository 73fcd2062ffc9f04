#include "configctrl/window/pages/user_manager_dlg.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {
constexpr int kLcRead = 29, kLcWrite = 30, kLcBytes = 840, kLcWidth = 20;
// LangChi: name and password offsets per user. The second common user's
// password is kept at 100, right after its name, both ways (see README).
constexpr int kLcNameAt[3] = {0, 40, 80};
constexpr int kLcPasswordAt[3] = {20, 60, 100};
constexpr int kAntsRead = 113, kAntsWrite = 213, kAntsBytes = 3268, kAntsSlot = 408;
constexpr int kAntsNameAt = 4, kAntsNameWidth = 32, kAntsPasswordAt = 36, kAntsPasswordWidth = 16;
}  // namespace

CUserManagerDlg::CUserManagerDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    QPushButton* save = MakeButton(this, 226, "OK");
    QFormLayout* form = MakePageForm(this, save);
    static const char* const kNames[3] = {"Administrator user name", "Common name", "Common name"};
    static const char* const kPasswords[3] = {"Administrator password", "Common PSW", "Common PSW"};
    for (int i = 0; i < kUsers; ++i) {
        name_[i] = AddEdit(this, form, 209 + 6 * i, kNames[i]);
        password_[i] = AddEdit(this, form, 211 + 6 * i, kPasswords[i], true);
        again_[i] = AddEdit(this, form, 213 + 6 * i, "Password again", true);
    }
    connect(save, &QPushButton::clicked, this, &CUserManagerDlg::OnSave);
    TranslateWindowTexts(this);
}

void CUserManagerDlg::OnPageActivated(quint32, quint32) {
    if (!record_.empty()) return;
    if (CLangChiDevice* lc = LangChiOf(this)) {
        record_ = PageRecord(kLcBytes);
        if (!LangChiRead(lc, kLcRead, record_)) return;
        for (int i = 0; i < kUsers; ++i) {
            name_[i]->setText(record_.Text(kLcNameAt[i], kLcWidth));
            password_[i]->setText(record_.Text(kLcPasswordAt[i], kLcWidth));
            again_[i]->setText(password_[i]->text());
        }
    } else if (CANTSDevice* ants = AntsOf(this)) {
        record_ = PageRecord(kAntsBytes);
        if (!AntsRead(ants, kAntsRead, record_)) return;
        for (int i = 0; i < kUsers; ++i) {
            name_[i]->setText(record_.Text(kAntsSlot * i + kAntsNameAt, kAntsNameWidth));
            password_[i]->setText(
                record_.Text(kAntsSlot * i + kAntsPasswordAt, kAntsPasswordWidth));
            again_[i]->setText(password_[i]->text());
        }
    }
}

void CUserManagerDlg::OnSave() {
    for (int i = 0; i < kUsers; ++i) {
        if (password_[i]->text() != again_[i]->text()) {
            CRHYesNoToAllDialog::Tell(this, "username or password is error , please input again!");
            return;
        }
    }
    bool ok = false;
    if (CLangChiDevice* lc = LangChiOf(this); lc && !record_.empty()) {
        for (int i = 0; i < kUsers; ++i) {
            record_.SetText(kLcNameAt[i], kLcWidth, name_[i]->text());
            record_.SetText(kLcPasswordAt[i], kLcWidth, password_[i]->text());
        }
        ok = LangChiWrite(lc, kLcWrite, record_);
    } else if (CANTSDevice* ants = AntsOf(this); ants && !record_.empty()) {
        for (int i = 0; i < kUsers; ++i) {
            record_.SetText(kAntsSlot * i + kAntsNameAt, kAntsNameWidth, name_[i]->text());
            record_.SetText(kAntsSlot * i + kAntsPasswordAt, kAntsPasswordWidth,
                            password_[i]->text());
        }
        ok = AntsWrite(ants, kAntsWrite, record_);
    }
    CRHYesNoToAllDialog::Tell(this, ok ? "Set success" : "Set failed");
}

}  // namespace configctrl
