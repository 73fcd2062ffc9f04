#include "configctrl/window/pages/stream_protocol_dlg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"

namespace configctrl {

namespace {
constexpr int kLcRead = 277, kLcWrite = 278, kLcBytes = 12;
constexpr int kAntsBytes = 60, kAntsPort = 4;
}  // namespace

CStreamProtocolDlg::CStreamProtocolDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    QPushButton* save = MakeButton(this, 281, "OK");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    auto* group = new QGroupBox(Tr("RTSP"), this);
    auto* form = new QFormLayout(group);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    rtsp_ = AddCheck(group, form, 274, "Start RTSP");
    port_ = AddEdit(group, form, 276, "Listening port");
    rtp_port_ = AddEdit(group, form, 279, "Starting RTP-UDP port");
    rtp_label_ = form->labelForField(rtp_port_);
    ts_ = new QGroupBox(Tr("TS"), this);
    auto* ts_form = new QFormLayout(ts_);
    AddCheck(ts_, ts_form, 273, "Start TS");
    AddEdit(ts_, ts_form, 278, "destination address");
    AddEdit(ts_, ts_form, 277, "destination port");
    ts_->hide();
    outer->addWidget(group);
    outer->addWidget(ts_);
    outer->addSpacing(12);
    outer->addWidget(save, 0, Qt::AlignLeft);
    outer->addStretch(1);
    connect(save, &QPushButton::clicked, this, &CStreamProtocolDlg::OnSave);
    TranslateWindowTexts(this);
}

void CStreamProtocolDlg::OnPageActivated(quint32, quint32) {
    if (!record_.empty()) return;
    if (CLangChiDevice* lc = LangChiOf(this)) {
        record_ = PageRecord(kLcBytes);
        if (!LangChiRead(lc, kLcRead, record_)) return;
        rtsp_->setChecked(record_.I32(0) != 0);
        port_->setText(Num(record_.I32(4)));
        rtp_port_->setText(Num(record_.I32(8)));
    } else if (CANTSDevice* ants = AntsOf(this)) {
        rtp_label_->hide();
        rtp_port_->hide();
        record_ = PageRecord(kAntsBytes);
        if (!ants->GetRtspConfig(record_.data(), kAntsBytes)) return;
        port_->setText(Num(record_.U16(kAntsPort)));
    }
}

void CStreamProtocolDlg::OnSave() {
    if (record_.empty()) return;
    if (CLangChiDevice* lc = LangChiOf(this)) {
        record_.SetI32(0, rtsp_->isChecked() ? 1 : 0);
        record_.SetI32(4, port_->text().toInt());
        record_.SetI32(8, rtp_port_->text().toInt());
        LangChiWrite(lc, kLcWrite, record_);
    } else if (CANTSDevice* ants = AntsOf(this)) {
        if (!rtsp_->isChecked()) return;  // the record has no switch; only the port is set
        record_.SetU16(kAntsPort, static_cast<uint16_t>(port_->text().toInt()));
        ants->SetRtspConfig(record_.data(), kAntsBytes);
    }
}

}  // namespace configctrl
