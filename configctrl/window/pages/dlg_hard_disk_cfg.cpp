#include "configctrl/window/pages/dlg_hard_disk_cfg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/pages/dlg_format_hd.h"
#include "configctrl/window/pages/record_bytes.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {
constexpr int kEntryNumber = 0, kEntryCapacity = 4, kEntryFree = 8, kEntryStatus = 12,
              kEntryAttribute = 16, kEntryGroup = 20;
constexpr int kStatusNormalExpand = 7;
constexpr int kGroupChoices = 16;

int DiskOffset(int index) {
    return 8 + CDlgHardDiskCfg::kDiskEntryBytes * index;
}
int GroupOffset(int index) {
    return 8 + CDlgHardDiskCfg::kGroupEntryBytes * index;
}
}  // namespace

CDlgHardDiskCfg::CDlgHardDiskCfg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    list_ = new QTreeWidget(this);
    list_->setObjectName("ctl654");
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    struct Column {
        const char* text;
        int width;
    };
    static const Column kColumns[] = {{"HD Name", 50},    {"Capacity", 140}, {"Last Capacity", 140},
                                      {"HD Status", 100}, {"HD Group", 50},  {"Attr", 120}};
    QStringList headers;
    for (const Column& c : kColumns) headers << Tr(c.text);
    list_->setHeaderLabels(headers);
    for (int i = 0; i < 6; ++i) list_->setColumnWidth(i, kColumns[i].width);

    // A disk's attribute and group.
    auto* disk_box = new QGroupBox(this);
    attribute_ = new QButtonGroup(this);
    auto* radios = new QHBoxLayout;
    const struct {
        int id;
        const char* text;
    } kRadios[] = {{655, "Normal"}, {656, "Redundancy"}, {657, "Read Only"}};
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(Tr(kRadios[i].text), disk_box);
        r->setObjectName(QString("ctl%1").arg(kRadios[i].id));
        attribute_->addButton(r, i);
        radios->addWidget(r);
    }
    radios->addStretch();
    disk_number_ = new QComboBox(disk_box);
    disk_number_->setObjectName("ctl663");
    group_belonged_ = new QComboBox(disk_box);
    group_belonged_->setObjectName("ctl658");
    confirm_ = new QPushButton(Tr("Confirm"), disk_box);
    confirm_->setObjectName("ctl659");
    confirm_->setEnabled(false);
    auto* disk_form = new QFormLayout(disk_box);
    disk_form->addRow(radios);
    disk_form->addRow(Tr("Disk Number"), disk_number_);
    disk_form->addRow(Tr("Disk Group Belonged"), group_belonged_);
    disk_form->addRow(QString(), confirm_);

    // The channels of a disk group.
    auto* group_box = new QGroupBox(this);
    group_number_ = new QComboBox(group_box);
    group_number_->setObjectName("ctl660");
    channels_ = new QListWidget(group_box);
    channels_->setObjectName("ctl664");
    channels_->setFlow(QListView::LeftToRight);
    channels_->setWrapping(true);
    channels_->setGridSize(QSize(56, 22));
    setup_ = new QPushButton(Tr("Setup"), group_box);
    setup_->setObjectName("ctl661");
    setup_->setEnabled(false);
    auto* group_form = new QFormLayout(group_box);
    group_form->addRow(Tr("Disk Group Number"), group_number_);
    group_form->addRow(new QLabel(Tr("Use the Channel of current Disk Group"), group_box));
    group_form->addRow(channels_);
    group_form->addRow(QString(), setup_);

    auto* refresh = new QPushButton(Tr("Refresh"), this);
    refresh->setObjectName("ctl662");
    expand_ = new QPushButton(Tr("expand"), this);
    expand_->setObjectName("ctl666");
    format_button_ = new QPushButton(Tr("Format"), this);
    format_button_->setObjectName("ctl315");
    status_ = new QLabel(this);
    status_->setObjectName("ctl667");

    auto* middle = new QHBoxLayout;
    middle->addWidget(disk_box, 1);
    middle->addWidget(group_box, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(refresh);
    buttons->addWidget(expand_);
    buttons->addWidget(format_button_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(middle);
    layout->addLayout(buttons);

    expand_timer_ = new QTimer(this);
    expand_timer_->setInterval(kExpandPollMs);
    connect(expand_timer_, &QTimer::timeout, this, &CDlgHardDiskCfg::OnExpandTick);
    connect(confirm_, &QPushButton::clicked, this, &CDlgHardDiskCfg::OnConfirm);
    connect(setup_, &QPushButton::clicked, this, &CDlgHardDiskCfg::OnSetupGroup);
    connect(refresh, &QPushButton::clicked, this, &CDlgHardDiskCfg::Refresh);
    connect(expand_, &QPushButton::clicked, this, &CDlgHardDiskCfg::OnExpand);
    connect(format_button_, &QPushButton::clicked, this, &CDlgHardDiskCfg::OnFormat);
    connect(disk_number_, &QComboBox::currentIndexChanged, this, &CDlgHardDiskCfg::ShowDisk);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) disk_number_->setCurrentIndex(item->data(0, Qt::UserRole).toInt());
    });
    connect(group_number_, &QComboBox::currentIndexChanged, this,
            &CDlgHardDiskCfg::ShowGroupChannels);
}

QString CDlgHardDiskCfg::StatusText(int status) {
    static const char* const kTexts[] = {"Normal",   "Unformat", "Error",   "Smart Status",
                                         "Mismatch", "Sleep",    "Offline", "Normal-Expand"};
    return status >= 0 && status < 8 ? kTexts[status] : "Unknow";
}

const char* CDlgHardDiskCfg::AttributeText(int attribute) {
    static const char* const kTexts[] = {"Normal", "redundancy", "Readonly"};
    return attribute >= 0 && attribute < 3 ? kTexts[attribute] : "";
}

CANTSDevice* CDlgHardDiskCfg::Ants() const {
    return owner() ? dynamic_cast<CANTSDevice*>(owner()->device()) : nullptr;
}

int CDlgHardDiskCfg::DiskCount() const {
    return disks_ok_ ? std::min<int>(int(RecordU32(disks_, 4)), kMaxDisks) : 0;
}

int CDlgHardDiskCfg::GroupCount() const {
    return groups_ok_ ? std::min<int>(int(RecordU32(groups_, 4)), kMaxGroups) : 0;
}

void CDlgHardDiskCfg::OnPageActivated(quint32, quint32) {
    if (loaded_) return;  // later activations show the cached records
    loaded_ = true;
    Refresh();
}

void CDlgHardDiskCfg::Refresh() {
    CANTSDevice* dev = Ants();
    int got = 0;
    disks_ = QByteArray(kDiskBytes, '\0');
    disks_ok_ = dev && dev->GetDVRConfig(kDiskRead, 0, disks_.data(), kDiskBytes, &got);
    groups_ = QByteArray(kGroupBytes, '\0');
    groups_ok_ = disks_ok_ && dev->GetDVRConfig(kGroupRead, 0, groups_.data(), kGroupBytes, &got);
    confirm_->setEnabled(disks_ok_);
    setup_->setEnabled(groups_ok_);
    FillDisks();
    FillGroups();
}

void CDlgHardDiskCfg::FillDisks() {
    const QSignalBlocker block_list(list_), block_numbers(disk_number_);
    list_->clear();
    disk_number_->clear();
    group_belonged_->clear();
    for (int g = 1; g <= kGroupChoices && disks_ok_; ++g)
        group_belonged_->addItem(QString::number(g));
    for (int i = 0; i < DiskCount(); ++i) {
        const int at = DiskOffset(i);
        const int number = int(RecordU32(disks_, at + kEntryNumber));
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, QString::number(number));
        item->setText(1, QString("%1MB").arg(RecordU32(disks_, at + kEntryCapacity)));
        item->setText(2, QString("%1MB").arg(RecordU32(disks_, at + kEntryFree)));
        item->setText(3, StatusText(int(RecordU32(disks_, at + kEntryStatus))));
        item->setText(4, QString::number(RecordU32(disks_, at + kEntryGroup)));
        item->setText(5, Tr(AttributeText(RecordU8(disks_, at + kEntryAttribute))));
        item->setData(0, Qt::UserRole, i);
        disk_number_->addItem(QString::number(number));
    }
    if (DiskCount() > 0) ShowDisk(0);
}

void CDlgHardDiskCfg::ShowDisk(int index) {
    if (index < 0 || index >= DiskCount()) return;
    const int at = DiskOffset(index);
    if (QAbstractButton* b = attribute_->button(RecordU8(disks_, at + kEntryAttribute)))
        b->setChecked(true);
    const int group = int(RecordU32(disks_, at + kEntryGroup));
    if (group >= 1 && group <= group_belonged_->count())
        group_belonged_->setCurrentIndex(group - 1);
}

void CDlgHardDiskCfg::FillGroups() {
    const QSignalBlocker block(group_number_);
    group_number_->clear();
    for (int i = 0; i < GroupCount(); ++i)
        group_number_->addItem(QString::number(RecordU32(groups_, GroupOffset(i))));
    ShowGroupChannels(GroupCount() > 0 ? 0 : -1);
}

void CDlgHardDiskCfg::ShowGroupChannels(int index) {
    channels_->clear();
    if (index < 0 || index >= GroupCount()) return;
    const int count = std::clamp(owner() ? owner()->channel_count() : 0, 1, kGroupChannels);
    for (int c = 0; c < count; ++c) {
        auto* item = new QListWidgetItem(QString::number(c + 1), channels_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(RecordU8(groups_, GroupOffset(index) + 4 + c) ? Qt::Checked
                                                                          : Qt::Unchecked);
    }
}

void CDlgHardDiskCfg::OnConfirm() {
    const int index = disk_number_->currentIndex();
    CANTSDevice* dev = Ants();
    if (!dev || index < 0 || index >= DiskCount() || attribute_->checkedId() < 0) return;
    const int at = DiskOffset(index);
    SetRecordU8(disks_, at + kEntryAttribute, uint8_t(attribute_->checkedId()));
    SetRecordU32(disks_, at + kEntryGroup, uint32_t(group_belonged_->currentIndex() + 1));
    const bool ok = dev->SetDVRConfig(kDiskWrite, 0, disks_.constData(), kDiskBytes);
    FillDisks();
    disk_number_->setCurrentIndex(index);
    ShowTips(
        this, ok ? "Save parameter successfully, please reboot!" : "Save parameter failed");
}

void CDlgHardDiskCfg::OnSetupGroup() {
    const int index = group_number_->currentIndex();
    CANTSDevice* dev = Ants();
    if (!dev || index < 0 || index >= GroupCount()) return;
    for (int c = 0; c < channels_->count(); ++c)
        SetRecordU8(groups_, GroupOffset(index) + 4 + c,
                    channels_->item(c)->checkState() == Qt::Checked ? 1 : 0);
    const bool ok = dev->SetDVRConfig(kGroupWrite, 0, groups_.constData(), kGroupBytes);
    ShowTips(
        this, ok ? "Save parameter successfully, please reboot!" : "Save parameter failed");
}

void CDlgHardDiskCfg::OnExpand() {
    QTreeWidgetItem* item = list_->currentItem();
    CANTSDevice* dev = Ants();
    if (!item || !dev || expand_handle_ >= 0) return;
    const int at = DiskOffset(item->data(0, Qt::UserRole).toInt());
    if (int(RecordU32(disks_, at + kEntryStatus)) != kStatusNormalExpand) {
        ShowTips(this, "Not support expand");
        return;
    }
    const int handle = dev->ExpandDisk(int(RecordU32(disks_, at + kEntryNumber)));
    if (handle == -1) {
        ShowTips(this, "Expand Failed");
        return;
    }
    expand_handle_ = handle;
    expand_timer_->start();
}

void CDlgHardDiskCfg::OnExpandTick() {
    CANTSDevice* dev = Ants();
    if (!dev || expand_handle_ < 0) {
        expand_timer_->stop();
        return;
    }
    const int progress = dev->GetExpandProgress(expand_handle_);
    if (progress >= 0 && progress <= 99) {
        status_->setText(QString(Tr("Process:%d%")).replace("%d", QString::number(progress)));
        return;
    }
    status_->setText(Tr(progress == 100   ? "Success"
                        : progress == 400 ? "Expand exception"
                                          : "Expand Failed"));
    dev->CloseExpandHandle(expand_handle_);
    expand_handle_ = -1;
    expand_timer_->stop();
}

void CDlgHardDiskCfg::OnFormat() {
    if (format_) return;  // already open
    format_ = new CDlgFormatHD(Ants(), DiskCount(), this);
    format_->setAttribute(Qt::WA_DeleteOnClose);
    connect(format_, &QObject::destroyed, this, [this] { format_ = nullptr; });
    format_->open();
}

}  // namespace configctrl
