#include "configctrl/window/pages/net_ip_param_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

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
// LangChi device record and its two side records.
constexpr int kLcRead = 6, kLcWrite = 7, kLcBytes = 376, kLcText = 16;
constexpr int kLcIp = 24, kLcMask = 40, kLcGateway = 56, kLcDns = 72, kLcMulticast = 88;
constexpr int kLcDataPort = 104, kLcMulticastPort = 106, kLcWebPort = 108;
constexpr int kLcDhcpRead = 96, kLcDhcpWrite = 97, kLcDhcpBytes = 4;
constexpr int kLcPppoeRead = 55, kLcPppoeWrite = 56, kLcPppoeBytes = 132, kLcPppoeText = 64;
// ANTS network record.
constexpr int kAntsRead = 102, kAntsWrite = 202, kAntsBytes = 1956, kAntsText = 16;
constexpr int kAntsIp = 4, kAntsMask = 148, kAntsDns = 1052, kAntsMulticast = 1408;
constexpr int kAntsGateway = 1552, kAntsPppoeUser = 1700, kAntsPppoePassword = 1732;
constexpr int kAntsDataPort = 296, kAntsWebPort = 1406;
// QV network record: addresses as four 32-bit integers.
constexpr uint32_t kQvRead = 0x10000021, kQvWrite = 296;
constexpr int kQvBytes = 188, kQvMode = 4, kQvIp = 8, kQvMask = 24, kQvGateway = 40;
constexpr int kQvPppoeUser = 56, kQvPppoePassword = 88, kQvText = 32, kQvDns = 120;
constexpr int kQvWebPort = 152, kQvDataPort = 156, kQvApply = 184;
constexpr int kQvStatic = 2, kQvDynamic = 0;
constexpr auto kZynNet = zyn::wire::ParamGroup::kNetwork;

QString QvAddress(const PageRecord& r, int at) {
    return QString::asprintf("%d.%d.%d.%d", r.I32(at), r.I32(at + 4), r.I32(at + 8),
                             r.I32(at + 12));
}
// Parses "%d.%d.%d.%d" into the four integers; the ones not given keep
// their values.
void PutQvAddress(PageRecord& r, int at, const QString& text) {
    int v[4] = {r.I32(at), r.I32(at + 4), r.I32(at + 8), r.I32(at + 12)};
    std::sscanf(text.toLatin1().constData(), "%d.%d.%d.%d", &v[0], &v[1], &v[2], &v[3]);
    for (int i = 0; i < 4; ++i) r.SetI32(at + 4 * i, v[i]);
}
}  // namespace

CNetIPParamDlg::CNetIPParamDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    QPushButton* save = MakeButton(this, 281, "OK");
    QFormLayout* form = MakePageForm(this, save);
    connect_type_ = AddCombo(this, form, 240, "Connect type", {"Static IP address", "PPPOE"});
    dhcp_ = AddCheck(this, form, 273, "Start DHCP");
    ip_ = AddEdit(this, form, 241, "IP address");
    mask_ = AddEdit(this, form, 246, "subnet mask");
    gateway_ = AddEdit(this, form, 243, "gateway");
    dns_ = AddEdit(this, form, 244, "DNS");
    data_port_ = AddEdit(this, form, 248, "data port");
    web_port_ = AddEdit(this, form, 249, "web port");
    multicast_address_ = AddEdit(this, form, 254, "multicast address");
    multicast_port_ = AddEdit(this, form, 253, "multicast port");
    pppoe_name_ = AddEdit(this, form, 290, "PPPoE name");
    pppoe_password_ = AddEdit(this, form, 292, "PPPoE password", true);
    stream_port_ = AddEdit(this, form, 0, "stream port");
    stream_port_->setObjectName("streamPort");
    form->setRowVisible(stream_port_, owner && owner->device_type() == kDeviceTypeZyn);
    connect(save, &QPushButton::clicked, this, &CNetIPParamDlg::OnSave);
    TranslateWindowTexts(this);
}

void CNetIPParamDlg::OnPageActivated(quint32, quint32) {
    if (!record_.empty()) return;
    if (CLangChiDevice* lc = LangChiOf(this)) {
        record_ = PageRecord(kLcBytes);
        dhcp_record_ = PageRecord(kLcDhcpBytes);
        pppoe_record_ = PageRecord(kLcPppoeBytes);
        if (!LangChiRead(lc, kLcRead, record_)) return;
        ip_->setText(record_.Text(kLcIp, kLcText));
        mask_->setText(record_.Text(kLcMask, kLcText));
        gateway_->setText(record_.Text(kLcGateway, kLcText));
        dns_->setText(record_.Text(kLcDns, kLcText));
        multicast_address_->setText(record_.Text(kLcMulticast, kLcText));
        data_port_->setText(Num(record_.U16(kLcDataPort)));
        multicast_port_->setText(Num(record_.U16(kLcMulticastPort)));
        web_port_->setText(Num(record_.U16(kLcWebPort)));
        if (LangChiRead(lc, kLcDhcpRead, dhcp_record_)) dhcp_->setChecked(dhcp_record_.I32(0) != 0);
        if (LangChiRead(lc, kLcPppoeRead, pppoe_record_)) {
            pppoe_name_->setText(pppoe_record_.Text(4, kLcPppoeText));
            pppoe_password_->setText(pppoe_record_.Text(4 + kLcPppoeText, kLcPppoeText));
            connect_type_->setCurrentIndex(pppoe_record_.I32(0) != 0 ? 1 : 0);
        }
    } else if (CANTSDevice* ants = AntsOf(this)) {
        record_ = PageRecord(kAntsBytes);
        if (!AntsRead(ants, kAntsRead, record_)) return;
        ip_->setText(record_.Text(kAntsIp, kAntsText));
        mask_->setText(record_.Text(kAntsMask, kAntsText));
        dns_->setText(record_.Text(kAntsDns, kAntsText));
        multicast_address_->setText(record_.Text(kAntsMulticast, kAntsText));
        gateway_->setText(record_.Text(kAntsGateway, kAntsText));
        pppoe_name_->setText(record_.Text(kAntsPppoeUser, 32));
        pppoe_password_->setText(record_.Text(kAntsPppoePassword, 16));
        data_port_->setText(Num(record_.U16(kAntsDataPort)));
        web_port_->setText(Num(record_.U16(kAntsWebPort)));
    } else if (CZynDevice* zyn = ZynOf(this)) {
        if (!ZynRead(zyn, kZynNet, 0, record_)) {
            record_ = PageRecord();  // never write back a record that was not read
            return;
        }
        auto show = [this](QLineEdit* e, const char* name) {
            e->setText(ZynText(record_, kZynNet, name));
        };
        connect_type_->setCurrentIndex(ZynText(record_, kZynNet, "pppoe") == "on" ? 1 : 0);
        dhcp_->setChecked(ZynText(record_, kZynNet, "dhcp") == "on");
        show(ip_, "address");
        show(mask_, "mask");
        show(gateway_, "gateway");
        show(dns_, "dns1");
        show(data_port_, "control_port");
        show(stream_port_, "stream_port");
        show(web_port_, "http_port");
        show(multicast_address_, "multicast_address");
        show(multicast_port_, "multicast_port");
        show(pppoe_name_, "pppoe_user");
        show(pppoe_password_, "pppoe_password");
    } else if (CQVDevice* qv = QvOf(this)) {
        record_ = PageRecord(kQvBytes);
        if (!QvRead(qv, kQvRead, record_)) return;
        connect_type_->setCurrentIndex(record_.I32(kQvMode) == kQvStatic ? 0 : 1);
        ip_->setText(QvAddress(record_, kQvIp));
        mask_->setText(QvAddress(record_, kQvMask));
        gateway_->setText(QvAddress(record_, kQvGateway));
        dns_->setText(QvAddress(record_, kQvDns));
        pppoe_name_->setText(record_.Text(kQvPppoeUser, kQvText));
        pppoe_password_->setText(record_.Text(kQvPppoePassword, kQvText));
        web_port_->setText(Num(record_.I32(kQvWebPort)));
        data_port_->setText(Num(record_.I32(kQvDataPort)));
    }
}

void CNetIPParamDlg::OnSave() {
    bool ok = false;
    if (record_.empty())
        ok = false;
    else if (LangChiOf(this))
        ok = SaveLangChi();
    else if (AntsOf(this))
        ok = SaveAnts();
    else if (QvOf(this))
        ok = SaveQv();
    else if (ZynOf(this))
        ok = SaveZyn();
    CRHYesNoToAllDialog::Tell(this, ok ? "Set success" : "Set failed");
}

bool CNetIPParamDlg::SaveLangChi() {
    CLangChiDevice* lc = LangChiOf(this);
    record_.SetText(kLcIp, kLcText, ip_->text());
    record_.SetText(kLcMask, kLcText, mask_->text());
    record_.SetText(kLcGateway, kLcText, gateway_->text());
    record_.SetText(kLcDns, kLcText, dns_->text());
    record_.SetText(kLcMulticast, kLcText, multicast_address_->text());
    record_.SetU16(kLcDataPort, static_cast<uint16_t>(data_port_->text().toInt()));
    record_.SetU16(kLcMulticastPort, static_cast<uint16_t>(multicast_port_->text().toInt()));
    record_.SetU16(kLcWebPort, static_cast<uint16_t>(web_port_->text().toInt()));
    if (!LangChiWrite(lc, kLcWrite, record_)) return false;
    // DHCP: sent when on, and when turned off (else it could never be cleared).
    const int32_t dhcp = dhcp_->isChecked() ? 1 : 0;
    if (dhcp != 0 || dhcp_record_.I32(0) != 0) {
        dhcp_record_.SetI32(0, dhcp);
        LangChiWrite(lc, kLcDhcpWrite, dhcp_record_);
    }
    if (connect_type_->currentIndex() != 0) {
        pppoe_record_.SetI32(0, 1);
        pppoe_record_.SetText(4, kLcPppoeText, pppoe_name_->text());
        pppoe_record_.SetText(4 + kLcPppoeText, kLcPppoeText, pppoe_password_->text());
        LangChiWrite(lc, kLcPppoeWrite, pppoe_record_);
    }
    return true;
}

bool CNetIPParamDlg::SaveAnts() {
    record_.SetText(kAntsIp, kAntsText, ip_->text());
    record_.SetText(kAntsMask, kAntsText, mask_->text());
    record_.SetText(kAntsDns, kAntsText, dns_->text());
    record_.SetText(kAntsMulticast, kAntsText, multicast_address_->text());
    record_.SetText(kAntsGateway, kAntsText, gateway_->text());
    record_.SetText(kAntsPppoeUser, 32, pppoe_name_->text());
    record_.SetText(kAntsPppoePassword, 16, pppoe_password_->text());
    record_.SetU16(kAntsDataPort, static_cast<uint16_t>(data_port_->text().toInt()));
    record_.SetU16(kAntsWebPort, static_cast<uint16_t>(web_port_->text().toInt()));
    return AntsWrite(AntsOf(this), kAntsWrite, record_);
}

bool CNetIPParamDlg::SaveQv() {
    PutQvAddress(record_, kQvIp, ip_->text());
    PutQvAddress(record_, kQvMask, mask_->text());
    PutQvAddress(record_, kQvGateway, gateway_->text());
    PutQvAddress(record_, kQvDns, dns_->text());
    record_.SetI32(kQvMode, connect_type_->currentIndex() == 0 ? kQvStatic : kQvDynamic);
    record_.SetText(kQvPppoeUser, kQvText, pppoe_name_->text());
    record_.SetText(kQvPppoePassword, kQvText, pppoe_password_->text());
    record_.SetI32(kQvWebPort, web_port_->text().toInt());
    record_.SetI32(kQvDataPort, data_port_->text().toInt());
    record_.SetI32(kQvApply, 1);
    record_.SetI32(0, kQvBytes);
    return QvWrite(QvOf(this), kQvWrite, record_);
}

bool CNetIPParamDlg::SaveZyn() {
    PageRecord r = record_;  // the cache changes only when every field fits
    const std::pair<const char*, QString> fields[] = {
        {"pppoe", connect_type_->currentIndex() != 0 ? "on" : "off"},
        {"dhcp", dhcp_->isChecked() ? "on" : "off"},
        {"address", ip_->text().trimmed()},
        {"mask", mask_->text().trimmed()},
        {"gateway", gateway_->text().trimmed()},
        {"dns1", dns_->text().trimmed()},
        {"control_port", data_port_->text().trimmed()},
        {"stream_port", stream_port_->text().trimmed()},
        {"http_port", web_port_->text().trimmed()},
        {"multicast_address", multicast_address_->text().trimmed()},
        {"multicast_port", multicast_port_->text().trimmed()},
        {"pppoe_user", pppoe_name_->text()},
        {"pppoe_password", pppoe_password_->text()},
    };
    for (const auto& [name, text] : fields)
        if (!SetZynText(r, kZynNet, name, text)) return false;
    if (!ZynWrite(ZynOf(this), kZynNet, 0, r)) return false;
    record_ = r;
    return true;
}

}  // namespace configctrl
