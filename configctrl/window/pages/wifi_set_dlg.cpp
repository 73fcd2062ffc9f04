#include "configctrl/window/pages/wifi_set_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/tips_box.h"
#include "configctrl/window/pages/zyn_group_io.h"
#include "vendors/net_client.h"

namespace configctrl {

namespace {
constexpr int kLcJoinCommand = 6;
constexpr int kSsidAt = 4, kSsidWidth = 40, kSecondAt = 48, kSecondWidth = 60;
constexpr int kEntryBytes = 44;
constexpr int kAntsRead = 101, kAntsBytes = 180;
constexpr auto kZynWifi = zyn::wire::ParamGroup::kWifi;
// The wifi record's security choices, in the order of the list.
const char* const kSecurity[] = {"open", "wep", "wpa", "wpa2"};
}  // namespace

CWifiSetDlg::CWifiSetDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    list_ = new QTreeWidget(this);
    list_->setObjectName("ctl257");
    list_->setColumnCount(1);
    list_->setHeaderLabels({Tr("SSID")});
    list_->setColumnWidth(0, 200);
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setMaximumHeight(180);
    outer->addWidget(list_);
    QPushButton* refresh = MakeButton(this, 294, "Search refresh");
    outer->addWidget(refresh, 0, Qt::AlignLeft);
    outer->addSpacing(8);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    enable_ = AddCheck(this, form, 259, "start wifi network");
    essid_ = AddEdit(this, form, 262, "ESSID");
    password_ = AddEdit(this, form, 265, "password", true);
    security_ = AddCombo(this, form, 0, "security", {"open", "WEP", "WPA", "WPA2"});
    security_->setObjectName("security");
    wifi_dhcp_ = AddCheck(this, form, 0, "Start DHCP");
    wifi_dhcp_->setObjectName("wifiDhcp");
    address_ = AddEdit(this, form, 0, "IP address");
    address_->setObjectName("wifiAddress");
    mask_ = AddEdit(this, form, 0, "subnet mask");
    mask_->setObjectName("wifiMask");
    gateway_ = AddEdit(this, form, 0, "gateway");
    gateway_->setObjectName("wifiGateway");
    dns_ = AddEdit(this, form, 0, "DNS");
    dns_->setObjectName("wifiDns");
    const bool own = owner && owner->device_type() == kDeviceTypeZyn;
    for (QWidget* w :
         std::initializer_list<QWidget*>{security_, wifi_dhcp_, address_, mask_, gateway_, dns_})
        form->setRowVisible(w, own);
    outer->addLayout(form);
    QPushButton* save = MakeButton(this, 281, "OK");
    outer->addSpacing(8);
    outer->addWidget(save, 0, Qt::AlignLeft);
    outer->addStretch(1);
    connect(list_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { essid_->setText(item->text(0)); });
    connect(refresh, &QPushButton::clicked, this, &CWifiSetDlg::OnRefresh);
    connect(save, &QPushButton::clicked, this, &CWifiSetDlg::OnSave);
    TranslateWindowTexts(this);
}

void CWifiSetDlg::OnPageActivated(quint32, quint32) {
    if (ZynOf(this)) {
        if (zyn_record_.empty()) ShowZynRecord();
        return;
    }
    if (AntsOf(this)) {
        if (ants_record_.empty()) {
            ants_record_ = PageRecord(kAntsBytes);
            AntsRead(AntsOf(this), kAntsRead, ants_record_);
        }
        return;
    }
    if (!listed_) ListNetworks();
}

void CWifiSetDlg::OnRefresh() {
    list_->clear();
    if (ZynOf(this)) {
        ShowZynRecord();
        return;
    }
    listed_ = false;
    ListNetworks();
}

void CWifiSetDlg::ListNetworks() {
    CLangChiDevice* lc = LangChiOf(this);
    auto lib = vendors::NetClientLib::Load();
    if (!lc || !lib || !lib->NetClient_Ord171) return;
    listed_ = true;
    const NetClientWifiList* found =
        lib->NetClient_Ord171(lc->GetDeviceName(), lc->GetHostName(), lc->GetUserName(),
                              lc->GetPassword(), lc->GetPort());
    if (!found) return;
    const int count = std::clamp<int>(found->count, 0, 16);
    for (int i = 0; i < count; ++i) {
        const char* e = found->entries[i];
        auto* item =
            new QTreeWidgetItem(list_, {QString::fromLocal8Bit(e, strnlen(e, kEntryBytes))});
        item->setCheckState(0, Qt::Unchecked);
    }
}

void CWifiSetDlg::ShowZynRecord() {
    list_->clear();
    if (!ZynRead(ZynOf(this), kZynWifi, 0, zyn_record_)) {
        zyn_record_ = PageRecord();  // never write back a record that was not read
        return;
    }
    auto field = [this](const char* name) { return ZynText(zyn_record_, kZynWifi, name); };
    const QString ssid = field("ssid");
    const bool on = field("enabled") == "on";
    if (!ssid.isEmpty()) {
        auto* item = new QTreeWidgetItem(list_, {ssid});
        item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }
    enable_->setChecked(on);
    essid_->setText(ssid);
    password_->setText(field("key"));
    int security = 0;
    for (int i = 0; i < int(std::size(kSecurity)); ++i)
        if (field("security") == kSecurity[i]) security = i;
    security_->setCurrentIndex(security);
    wifi_dhcp_->setChecked(field("dhcp") == "on");
    address_->setText(field("address"));
    mask_->setText(field("mask"));
    gateway_->setText(field("gateway"));
    dns_->setText(field("dns"));
}

bool CWifiSetDlg::SaveZyn() {
    PageRecord r = zyn_record_;  // the cache changes only when every field fits
    const std::pair<const char*, QString> fields[] = {
        {"enabled", enable_->isChecked() ? "on" : "off"},
        {"ssid", essid_->text()},
        {"key", password_->text()},
        {"security", kSecurity[std::clamp(security_->currentIndex(), 0, 3)]},
        {"dhcp", wifi_dhcp_->isChecked() ? "on" : "off"},
        {"address", address_->text().trimmed()},
        {"mask", mask_->text().trimmed()},
        {"gateway", gateway_->text().trimmed()},
        {"dns", dns_->text().trimmed()},
    };
    for (const auto& [name, text] : fields)
        if (!SetZynText(r, kZynWifi, name, text)) return false;
    if (!ZynWrite(ZynOf(this), kZynWifi, 0, r)) return false;
    zyn_record_ = r;
    return true;
}

void CWifiSetDlg::OnSave() {
    if (ZynOf(this)) {
        CRHYesNoToAllDialog::Tell(this, SaveZyn() ? "Set success" : "Set failed");
        return;
    }
    CLangChiDevice* lc = LangChiOf(this);
    if (!lc) return;
    const int32_t enable = enable_->isChecked() ? 1 : 0;
    PageRecord first(kJoinRecordBytes), second(kJoinRecordBytes);
    first.SetI32(0, enable);
    first.SetText(kSsidAt, kSsidWidth, essid_->text());
    first.SetText(kSecondAt, kSecondWidth, essid_->text());
    second.SetI32(0, enable);
    second.SetText(kSsidAt, kSsidWidth, essid_->text());
    second.SetText(kSecondAt, kSecondWidth, password_->text());
    lc->LangChiConfig(0, kLcJoinCommand, reinterpret_cast<intptr_t>(first.data()),
                      reinterpret_cast<intptr_t>(second.data()), kJoinRecordBytes, 0);
}

}  // namespace configctrl
