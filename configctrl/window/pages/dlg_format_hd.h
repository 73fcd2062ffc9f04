// "Format HDD" (dialog 227): formats all disks (disk number 255) or one disk
// of an ANTS recorder and polls the progress every 5 s. Opened window-modal
// without a local event loop; closing it stops the polling and closes the
// handles, not a format already running on the device.
#pragma once

#include <QByteArray>

#include <array>

#include "configctrl/window/dialog_ex.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace configctrl {

class CANTSDevice;

class CDlgFormatHD : public CDialogEx {
    Q_OBJECT

public:
    static constexpr int kDialogId = 227;
    static constexpr int kAllDisks = 255;
    static constexpr int kMaxDiskHandles = 8;
    static constexpr int kPollMs = 5000;

    // `last_disk_count` names the entries when the disk record cannot be read.
    CDlgFormatHD(CANTSDevice* device, int last_disk_count, QWidget* parent);
    ~CDlgFormatHD() override;
    void OnPageActivated(quint32, quint32) override {}

    void done(int result) override;

private:
    void OnFormat();
    void OnTick();
    void CloseHandles();

    CANTSDevice* device_;
    int all_handle_ = -1;
    std::array<int, kMaxDiskHandles> disk_handles_;

    QComboBox* disks_;
    QProgressBar* progress_;
    QLabel* state_;
    QPushButton* format_;
    QPushButton* exit_;
    QTimer* timer_;
};

}  // namespace configctrl
