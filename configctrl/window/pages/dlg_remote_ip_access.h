// The page "IP Chan Manage" (dialog 230): the IP channel table of an ANTS
// recorder, the cameras a LAN search through the device finds, and the
// table written back with the ticked cameras' addresses and RTSP streams.
//
// A ticked camera goes to the selected channel (or, with none selected, to
// the first channel without an address); unticking takes it off every
// channel showing it, and "Delete" clears the selected channel. A channel
// cleared this way is written empty; every other channel whose address no
// search found keeps the entry as read.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QStringList>

#include "configctrl/window/dialog_ex.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace configctrl {

class CANTSDevice;

class CDlgRemoteIPAccess : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 230;
    static constexpr int kRead = 200, kWrite = 297, kRecordBytes = 11524;
    static constexpr int kEntryBytes = 360, kMaxChannels = (kRecordBytes - 4) / kEntryBytes;
    static constexpr int kSearchEntries = 32, kSearchEntryBytes = 756;

    explicit CDlgRemoteIPAccess(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

private:
    CANTSDevice* Ants() const;
    void ShowChannels();
    void OnSearch();
    void OnTicked(QTreeWidgetItem* item, int column);
    void OnDelete();
    void OnSave();
    int SearchEntryOf(const QString& address) const;

    QByteArray record_;
    QByteArray found_;              // the last search's buffer
    QMap<int, QString> protocols_;  // code -> name
    QStringList shown_;             // the address each channel shows
    bool loaded_ = false;

    QTreeWidget* channels_;
    QTreeWidget* search_;
    QPushButton* search_button_;
};

}  // namespace configctrl
