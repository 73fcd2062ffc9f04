#include "configctrl/window/pages/dlg_serial_cfg.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/pages/record_bytes.h"
#include "configctrl/window/tips_box.h"
#include "vendors/net_client.h"

namespace configctrl {

namespace {
constexpr int kBaud = 0, kDataBits = 8, kFlow = 9, kStopBits = 10, kParity = 11, kDecoder = 12;
constexpr int kBauds[] = {2400, 4800, 9600};

QComboBox* MakeList(QWidget* parent, int id, const QStringList& entries) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString("ctl%1").arg(id));
    for (const QString& e : entries) list->addItem(TranslateText(e));
    return list;
}

std::string Text(const char* s) {
    return s ? std::string(s) : std::string();
}
}  // namespace

CDlgSerialCfg::CDlgSerialCfg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    channel_ = MakeList(this, 680, {});
    decoder_ = new QLineEdit(this);
    decoder_->setObjectName("ctl674");
    decoder_->setValidator(new QIntValidator(0, 255, decoder_));
    baud_ = MakeList(this, 675, {"2400", "4800", "9600"});
    data_bits_ = MakeList(this, 677, {"5", "6", "7", "8"});
    stop_bits_ = MakeList(this, 679, {"1", "2"});
    parity_ = MakeList(
        this, 676,
        {QString::fromUtf8("无校验"), QString::fromUtf8("奇校验"), QString::fromUtf8("偶校验"),
         QString::fromUtf8("固定为1"), QString::fromUtf8("固定为0")});
    flow_ = MakeList(this, 678, {QString::fromUtf8("无"), QString::fromUtf8("软流控")});
    auto* kind = MakeList(this, 280, {"PELCO-P ", "PELCO-D", "TRADE-SD"});
    kind->setCurrentIndex(0);
    protocol_ = new QLineEdit(this);
    protocol_->setObjectName("ctl684");
    protocol_->setReadOnly(true);
    path_ = new QLineEdit(this);
    path_->setObjectName("ctl686");
    choose_ = new QPushButton(Tr("choose"), this);
    choose_->setObjectName("ctl681");
    upload_ = new QPushButton(Tr("UpdataPTZ"), this);
    upload_->setObjectName("ctl682");
    upload_->setEnabled(false);
    auto* ok = new QPushButton(Tr("OK"), this);
    ok->setObjectName("ctl1");

    auto* form = new QFormLayout;
    form->addRow(Tr("Channel"), channel_);
    form->addRow(Tr("Decoder address"), decoder_);
    form->addRow(Tr("Baud rate"), baud_);
    form->addRow(Tr("Data bits"), data_bits_);
    form->addRow(Tr("Stop bits"), stop_bits_);
    form->addRow(Tr("Parity"), parity_);
    form->addRow(Tr("Flow control"), flow_);
    form->addRow(Tr("Protocol"), kind);
    form->addRow(QString(), ok);
    auto* file_row = new QHBoxLayout;
    file_row->addWidget(path_, 1);
    file_row->addWidget(choose_);
    file_row->addWidget(upload_);
    form->addRow(Tr("PTZ protocol"), protocol_);
    form->addRow(Tr("Protocol file"), file_row);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch();

    // Connection data for the library calls, bounded as the library takes it.
    CDevice* dev = owner ? owner->device() : nullptr;
    const int channels = owner ? std::clamp(owner->channel_count(), 1, kMaxChannels) : 1;
    for (int c = 1; c <= channels; ++c) channel_->addItem(QString::number(c));
    channel_->setEnabled(channels > 1);
    if (dev && dev->type() == kDeviceTypeLangChi) {
        lib_ = vendors::NetClientLib::Load();
        name_ = Text(dev->GetDeviceName()).substr(0, 23);
        address_ = Text(dev->GetAddress()).substr(0, 39);
        user_ = Text(dev->GetUserName()).substr(0, 19);
        password_ = Text(dev->GetPassword()).substr(0, 19);
        port_ = dev->GetPort();
    }
    records_.fill(QByteArray(kRecordBytes, '\0'), channels);
    for (int c = 0; c < channels; ++c) protocols_ << QString();

    connect(channel_, &QComboBox::currentIndexChanged, this, &CDlgSerialCfg::ShowChannel);
    connect(ok, &QPushButton::clicked, this, &CDlgSerialCfg::OnOk);
    connect(choose_, &QPushButton::clicked, this, &CDlgSerialCfg::OnChoose);
    connect(upload_, &QPushButton::clicked, this, &CDlgSerialCfg::OnUpload);
}

CDlgSerialCfg::~CDlgSerialCfg() = default;

QString CDlgSerialCfg::ReadProtocolName(int channel) {
    char text[kProtocolNameBytes] = {};
    if (!lib_ || !lib_->NetClient_Ord82 ||
        !lib_->NetClient_Ord82(name_.c_str(), address_.c_str(), channel, user_.c_str(),
                               password_.c_str(), text, port_))
        return protocols_.value(channel);
    return QString::fromLocal8Bit(text, int(strnlen(text, sizeof text)));
}

void CDlgSerialCfg::OnPageActivated(quint32, quint32) {
    if (loaded_ || !lib_) return;
    loaded_ = true;
    for (int c = 0; c < records_.size(); ++c) {
        if (lib_->NetClient_Ord56)
            lib_->NetClient_Ord56(name_.c_str(), address_.c_str(), c, user_.c_str(),
                                  password_.c_str(), records_[c].data(), port_);
        protocols_[c] = ReadProtocolName(c);
    }
    channel_->setCurrentIndex(0);
    ShowChannel(0);
    upload_->setEnabled(true);
}

void CDlgSerialCfg::ShowChannel(int channel) {
    if (channel < 0 || channel >= records_.size()) return;
    const QByteArray& r = records_[channel];
    decoder_->setText(QString::number(RecordU8(r, kDecoder)));
    const uint32_t baud = RecordU32(r, kBaud);
    baud_->setCurrentIndex(baud == 2400 ? 0 : baud == 9600 ? 2 : 1);
    stop_bits_->setCurrentIndex(std::min<int>(RecordU8(r, kStopBits), 1));
    parity_->setCurrentIndex(std::min<int>(RecordU8(r, kParity), 4));
    const int bits = RecordU8(r, kDataBits);
    data_bits_->setCurrentIndex(bits >= 5 && bits <= 7 ? bits - 5 : 3);
    flow_->setCurrentIndex(RecordU8(r, kFlow) == 1 ? 0 : 1);
    protocol_->setText(protocols_.value(channel));
}

void CDlgSerialCfg::OnOk() {
    const int channel = channel_->currentIndex();
    if (!lib_ || !lib_->NetClient_Ord57 || channel < 0 || channel >= records_.size()) return;
    QByteArray& r = records_[channel];
    SetRecordU8(r, kDecoder, uint8_t(std::clamp(decoder_->text().toInt(), 0, 255)));
    SetRecordU32(r, kBaud, uint32_t(kBauds[std::max(baud_->currentIndex(), 0)]));
    SetRecordU8(r, kStopBits, uint8_t(std::max(stop_bits_->currentIndex(), 0)));
    SetRecordU8(r, kDataBits, uint8_t(5 + std::max(data_bits_->currentIndex(), 0)));
    SetRecordU8(r, kParity, uint8_t(std::max(parity_->currentIndex(), 0)));
    SetRecordU8(r, kFlow, flow_->currentIndex() == 0 ? 1 : 2);
    lib_->NetClient_Ord57(address_.c_str(), name_.c_str(), address_.c_str(), channel, user_.c_str(),
                          password_.c_str(), r.constData(), port_);
}

void CDlgSerialCfg::OnChoose() {
    // Window-modal without a local event loop.
    auto* dialog =
        new QFileDialog(this, Tr("open PTZ Cmmmand File"), QString(), "ptz Files(*.ptz)");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, path_, &QLineEdit::setText);
    dialog->open();
}

void CDlgSerialCfg::OnUpload() {
    const int channel = channel_->currentIndex();
    if (path_->text().isEmpty()) {
        choose_->setFocus();
        return;
    }
    if (!lib_ || !lib_->NetClient_Ord81 || channel < 0) return;
    const QByteArray path = path_->text().toLocal8Bit();
    const int result = lib_->NetClient_Ord81(name_.c_str(), address_.c_str(), user_.c_str(),
                                             password_.c_str(), channel, path.constData(), port_);
    if (result == 0) {
        protocols_[channel] = ReadProtocolName(channel);
        protocol_->setText(protocols_[channel]);
    }
    ShowTips(this,
                              result == 0 ? "PTZ protocol uploaded" : "PTZ protocol upload failed");
}

}  // namespace configctrl
