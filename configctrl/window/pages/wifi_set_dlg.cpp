#include "configctrl/window/pages/wifi_set_dlg.h"

#include <QCheckBox>
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
#include "vendors/net_client.h"

namespace configctrl {

namespace {
constexpr int kLcJoinCommand = 6;
constexpr int kSsidAt = 4, kSsidWidth = 40, kSecondAt = 48, kSecondWidth = 60;
constexpr int kEntryBytes = 44;
constexpr int kAntsRead = 101, kAntsBytes = 180;
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

void CWifiSetDlg::OnSave() {
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
