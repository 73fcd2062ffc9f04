// The page "Wireless settings" (dialog 207): the wireless networks a
// LangChi device sees, and the network it joins.
//
// Own-protocol devices report no scan: the list shows the network the wifi
// record names, "Search refresh" reads the record again, and extra rows hold
// its security, DHCP and addresses. OK writes the record and reports.
#pragma once

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QTreeWidget;

namespace configctrl {

class CWifiSetDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 207;
    // Each of the two records of a save: enable flag, text 40 at 4, text 60 at 48.
    static constexpr int kJoinRecordBytes = 108;
    explicit CWifiSetDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
    void OnRefresh();
    void OnSave();
    QTreeWidget* networks() const { return list_; }

private:
    void ListNetworks();
    void ShowZynRecord();
    bool SaveZyn();

    QTreeWidget* list_;
    QCheckBox* enable_;
    QLineEdit* essid_;
    QLineEdit* password_;
    bool listed_ = false;
    PageRecord ants_record_;  // read for ANTS devices, shown nowhere
    // Own protocol: the wifi record and its extra rows.
    PageRecord zyn_record_;
    QComboBox* security_;
    QCheckBox* wifi_dhcp_;
    QLineEdit *address_, *mask_, *gateway_, *dns_;
};

}  // namespace configctrl
