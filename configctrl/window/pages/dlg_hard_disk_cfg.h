// The page "Disk Management" (dialog 226): the disks of an ANTS recorder
// with capacity, free space, status, group and attribute; a disk's attribute
// and group, the channels of each disk group, expansion of a disk with its
// progress, and the formatting dialog (CDlgFormatHD).
#pragma once

#include <QByteArray>

#include "configctrl/window/dialog_ex.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace configctrl {

class CANTSDevice;
class CDlgFormatHD;

class CDlgHardDiskCfg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 226;
    // Disk record: read with 158, written with 257; count at 4, 36-byte
    // entries from 8. Group record: read with 159, written with 258; count
    // at 4, 28-byte entries from 8 (group number, then one byte per channel).
    static constexpr int kDiskRead = 158, kDiskWrite = 257, kDiskBytes = 1160;
    static constexpr int kGroupRead = 159, kGroupWrite = 258, kGroupBytes = 456;
    static constexpr int kDiskEntryBytes = 36, kGroupEntryBytes = 28, kGroupChannels = 24;
    static constexpr int kMaxDisks = (kDiskBytes - 8) / kDiskEntryBytes;
    static constexpr int kMaxGroups = (kGroupBytes - 8) / kGroupEntryBytes;
    static constexpr int kExpandPollMs = 1000;

    explicit CDlgHardDiskCfg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    // The text of a disk status code and of an attribute code.
    static QString StatusText(int status);
    static const char* AttributeText(int attribute);

    // Reads both records again and refills the controls ("Refresh").
    void Refresh();
    CDlgFormatHD* format_dialog() const { return format_; }

private:
    CANTSDevice* Ants() const;
    int DiskCount() const;
    int GroupCount() const;
    void FillDisks();
    void FillGroups();
    void ShowDisk(int index);
    void ShowGroupChannels(int index);
    void OnConfirm();
    void OnSetupGroup();
    void OnExpand();
    void OnExpandTick();
    void OnFormat();

    QByteArray disks_, groups_;
    bool loaded_ = false, disks_ok_ = false, groups_ok_ = false;
    int expand_handle_ = -1;

    QTreeWidget* list_;
    QButtonGroup* attribute_;
    QComboBox* disk_number_;
    QComboBox* group_belonged_;
    QPushButton* confirm_;
    QComboBox* group_number_;
    QListWidget* channels_;
    QPushButton* setup_;
    QPushButton* expand_;
    QPushButton* format_button_;
    QLabel* status_;
    QTimer* expand_timer_;
    CDlgFormatHD* format_ = nullptr;
};

}  // namespace configctrl
