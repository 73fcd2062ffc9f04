#include "configctrl/window/pages/device_base_dlg.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/tips_box.h"
#include "configctrl/window/pages/zyn_group_io.h"

namespace configctrl {

namespace {
constexpr int kLcRead = 6, kLcWrite = 7, kLcIdRead = 27, kLcBytes = 376, kLcIdBytes = 48;
constexpr int kLcNameWidth = 24;
constexpr int kAntsRead = 101, kAntsWrite = 201, kAntsBytes = 180;
constexpr int kAntsNameAt = 4, kAntsNameWidth = 32, kAntsIdAt = 44, kAntsIdWidth = 48;
constexpr uint32_t kQvRead = 0x10000001, kQvNameRead = 0x10000009, kQvWrite = 269;
constexpr int kQvBytes = 372, kQvNameBytes = 60, kQvNameAt = 168, kQvIdAt = 72;
constexpr int kQvNameWriteAt = 8, kQvNameWidth = 32;
constexpr auto kBase = zyn::wire::ParamGroup::kBase;

// "1.2.3" from the firmware word 0x00010203.
QString FirmwareText(const QString& word) {
    const uint32_t v = word.toUInt();
    return QString("%1.%2.%3").arg(v >> 16 & 0xFF).arg(v >> 8 & 0xFF).arg(v & 0xFF);
}
}  // namespace

CDeviceBaseDlg::CDeviceBaseDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    QPushButton* ok = MakeButton(this, 281, "OK");
    QFormLayout* form = MakePageForm(this, ok);
    name_ = AddEdit(this, form, 228, "device name");
    id_ = AddEdit(this, form, 276, "device ID");
    id_->setReadOnly(true);
    // Read-only rows that only own-protocol devices fill.
    const bool own = owner && owner->device_type() == kDeviceTypeZyn;
    auto info_row = [&](const char* name, const char* label) {
        QLineEdit* e = AddEdit(this, form, 0, label);
        e->setObjectName(name);
        e->setReadOnly(true);
        form->setRowVisible(e, own);
        return e;
    };
    channels_ = info_row("channels", "channel count");
    alarm_inputs_ = info_row("alarmInputs", "alarm inputs");
    alarm_outputs_ = info_row("alarmOutputs", "alarm outputs");
    firmware_ = info_row("firmware", "firmware version");
    connect(ok, &QPushButton::clicked, this, &CDeviceBaseDlg::OnOK);
    TranslateWindowTexts(this);
}

void CDeviceBaseDlg::OnPageActivated(quint32, quint32) {
    if (record_.empty()) {
        if (CLangChiDevice* lc = LangChiOf(this)) {
            record_ = PageRecord(kLcBytes);
            if (LangChiRead(lc, kLcRead, record_)) {
                name_->setText(record_.Text(0, kLcNameWidth));
                PageRecord id(kLcIdBytes);
                if (LangChiRead(lc, kLcIdRead, id)) id_->setText(id.Text(0, kLcIdBytes));
            }
        } else if (CANTSDevice* ants = AntsOf(this)) {
            record_ = PageRecord(kAntsBytes);
            if (AntsRead(ants, kAntsRead, record_)) {
                name_->setText(record_.Text(kAntsNameAt, kAntsNameWidth));
                id_->setText(record_.Text(kAntsIdAt, kAntsIdWidth));
            }
        } else if (CZynDevice* zyn = ZynOf(this)) {
            if (!ZynRead(zyn, kBase, 0, record_)) {
                record_ = PageRecord();  // never write back a record that was not read
            } else {
                name_->setText(ZynText(record_, kBase, "name"));
                id_->setText(ZynText(record_, kBase, "serial"));
                channels_->setText(ZynText(record_, kBase, "channels"));
                alarm_inputs_->setText(ZynText(record_, kBase, "alarm_inputs"));
                alarm_outputs_->setText(ZynText(record_, kBase, "alarm_outputs"));
                firmware_->setText(FirmwareText(ZynText(record_, kBase, "firmware")));
            }
        } else if (CQVDevice* qv = QvOf(this)) {
            record_ = PageRecord(kQvBytes);
            if (QvRead(qv, kQvRead, record_)) {
                name_->setText(record_.Text(kQvNameAt, kQvBytes - kQvNameAt));
                id_->setText(record_.Text(kQvIdAt, kQvNameAt - kQvIdAt));
            }
        }
    }
}

void CDeviceBaseDlg::OnOK() {
    const QString name = name_->text();
    if (CLangChiDevice* lc = LangChiOf(this); lc && !record_.empty()) {
        record_.SetText(0, kLcNameWidth, name);
        LangChiWrite(lc, kLcWrite, record_);
    } else if (CANTSDevice* ants = AntsOf(this); ants && !record_.empty()) {
        record_.SetText(kAntsNameAt, kAntsNameWidth, name);
        AntsWrite(ants, kAntsWrite, record_);
    } else if (CZynDevice* zyn = ZynOf(this)) {
        const bool ok =
            SetZynText(record_, kBase, "name", name) && ZynWrite(zyn, kBase, 0, record_);
        CRHYesNoToAllDialog::Tell(this, ok ? "Set success" : "Set failed");
    } else if (CQVDevice* qv = QvOf(this)) {
        PageRecord rec(kQvNameBytes);  // size at 0, channel 0 at 4
        if (!QvRead(qv, kQvNameRead, rec)) return;
        rec.SetText(kQvNameWriteAt, kQvNameWidth, name);
        QvWrite(qv, kQvWrite, rec);
    }
}

}  // namespace configctrl
