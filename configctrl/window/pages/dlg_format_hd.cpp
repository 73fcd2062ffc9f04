#include "configctrl/window/pages/dlg_format_hd.h"

#include <algorithm>

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/window/pages/dlg_hard_disk_cfg.h"
#include "configctrl/window/pages/record_bytes.h"

namespace configctrl {

CDlgFormatHD::CDlgFormatHD(CANTSDevice* device, int last_disk_count, QWidget* parent)
    : CDialogEx(kDialogId, parent, Qt::Dialog), device_(device) {
    disk_handles_.fill(-1);
    setWindowTitle(Tr("Format HDD"));

    disks_ = new QComboBox(this);
    disks_->setObjectName("ctl671");
    progress_ = new QProgressBar(this);
    progress_->setObjectName("progress");
    state_ = new QLabel(this);
    state_->setObjectName("ctl673");
    state_->setMinimumWidth(320);
    format_ = new QPushButton(Tr("Format"), this);
    format_->setObjectName("ctl669");
    exit_ = new QPushButton(Tr("Exit"), this);
    exit_->setObjectName("ctl670");

    auto* form = new QFormLayout;
    form->addRow(Tr("Disk Lable"), disks_);
    form->addRow(progress_);
    form->addRow(state_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(format_);
    buttons->addWidget(exit_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    // The disks as the device reports them now; by index from the last known
    // count when it cannot be read.
    QByteArray record(CDlgHardDiskCfg::kDiskBytes, '\0');
    int got = 0;
    const bool read = device_ && device_->GetDVRConfig(CDlgHardDiskCfg::kDiskRead, 0, record.data(),
                                                       int(record.size()), &got);
    disks_->addItem(Tr("All Hard Disk"), kAllDisks);
    const int count = read ? std::min<int>(int(RecordU32(record, 4)), CDlgHardDiskCfg::kMaxDisks)
                           : last_disk_count;
    for (int i = 0; i < count; ++i) {
        const int number =
            read ? int(RecordU32(record, 8 + CDlgHardDiskCfg::kDiskEntryBytes * i)) : i;
        disks_->addItem(QString("%1%2").arg(Tr("HD")).arg(number), number);
    }
    progress_->setRange(0, 100);
    progress_->setValue(0);

    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &CDlgFormatHD::OnTick);
    connect(format_, &QPushButton::clicked, this, &CDlgFormatHD::OnFormat);
    connect(exit_, &QPushButton::clicked, this, [this] { done(0); });
    timer_->start();
}

// The device may already be gone (the window deletes it before its
// children); its handles end with the login session.
CDlgFormatHD::~CDlgFormatHD() = default;

void CDlgFormatHD::OnFormat() {
    if (!device_) return;
    const int index = disks_->currentIndex();
    const int disk = disks_->currentData().toInt();
    const bool any_disk_running =
        std::any_of(disk_handles_.begin(), disk_handles_.end(), [](int h) { return h >= 0; });
    // One format at a time per disk; all disks only when none is running.
    if (all_handle_ >= 0 || (disk == kAllDisks && any_disk_running) ||
        (disk != kAllDisks && index - 1 < kMaxDiskHandles && disk_handles_[index - 1] >= 0)) {
        state_->setText(Tr("Hard disk is formatted, can not start operation"));
        return;
    }
    if (disk != kAllDisks && index - 1 >= kMaxDiskHandles) {
        state_->setText(Tr("Format fail"));
        return;
    }
    const int handle = device_->FormatDisk(disk);
    if (handle < 0) {
        state_->setText(Tr("Format fail"));
        return;
    }
    if (disk == kAllDisks) {
        all_handle_ = handle;
        format_->setEnabled(false);
    } else {
        disk_handles_[index - 1] = handle;
    }
    progress_->setValue(0);
    state_->setText(Tr("Status:Is to reformat your hard disk, please wait"));
}

void CDlgFormatHD::OnTick() {
    auto poll = [this](int& handle) {
        if (handle < 0) return;
        int disk = 0, progress = 0, state = 0;
        if (!device_->GetFormatProgress(handle, &disk, &progress, &state)) return;
        progress_->setValue(std::clamp(progress, 0, 100));
        if (state == 0) {
            state_->setText(
                QString("%1 %2%").arg(Tr("Status: formatting hard disk")).arg(progress));
        } else if (state == 1) {
            state_->setText(Tr("Status: format hard disk successfully"));
            progress_->setValue(100);
            device_->CloseFormatHandle(handle);
            handle = -1;
            format_->setEnabled(true);
        } else {
            state_->setText(
                QString("%1%2").arg(Tr("Status: Unusual format, status unknown, HD")).arg(disk));
            device_->CloseFormatHandle(handle);
            handle = -1;
            format_->setEnabled(all_handle_ < 0);
        }
    };
    if (!device_) return;
    poll(all_handle_);
    for (int& h : disk_handles_) poll(h);
}

void CDlgFormatHD::CloseHandles() {
    if (!device_) return;
    if (all_handle_ >= 0) {
        device_->CloseFormatHandle(all_handle_);
        all_handle_ = -1;
    }
    for (int& h : disk_handles_) {
        if (h >= 0) device_->CloseFormatHandle(h);
        h = -1;
    }
}

void CDlgFormatHD::done(int result) {
    CloseHandles();
    timer_->stop();
    CDialogEx::done(result);
}

}  // namespace configctrl
