// The page "Storage devices" (dialog 701): where a LangChi device records
// (memory card or network disk), the network-disk settings, and its storage
// media with their sizes; ticked media can be formatted.
#pragma once

#include <QByteArray>

#include "configctrl/window/dialog_ex.h"

class QButtonGroup;
class QLineEdit;
class QTreeWidget;

namespace configctrl {

class CLangChiDevice;

class CStorageDeviceDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 701;
    // Storage target: read 394, written 396; media: read 52; 53 formats one.
    static constexpr int kTargetRead = 394, kTargetWrite = 396, kTargetBytes = 372;
    static constexpr int kMediaRead = 52, kMediaBytes = 132, kMaxMedia = 8, kFormatMedium = 53;

    explicit CStorageDeviceDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    // Reads both records again ("Refresh").
    void Refresh();

private:
    CLangChiDevice* LangChi() const;
    void Load();
    void OnSave();
    void OnFormat();

    QByteArray target_, media_;  // media_ empty: not cached

    QButtonGroup* device_;
    QButtonGroup* remote_;
    QLineEdit* address_;
    QLineEdit* path_;
    QLineEdit* user_;
    QLineEdit* password_;
    QTreeWidget* media_list_;
};

}  // namespace configctrl
