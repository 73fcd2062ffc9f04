// The page "IP address and port" (dialog 213): addresses, ports, the
// connection type with PPPoE account and DHCP. Own-protocol devices show
// their network record (the data port is the control port; their stream
// port has a row of its own) and take a save only when every field holds a
// value the record can keep.
#pragma once

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace configctrl {

class CNetIPParamDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 213;
    explicit CNetIPParamDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
    void OnSave();

private:
    bool SaveLangChi();
    bool SaveAnts();
    bool SaveQv();
    bool SaveZyn();

    QComboBox* connect_type_;
    QLineEdit *ip_, *gateway_, *dns_, *mask_, *data_port_, *web_port_, *multicast_port_,
        *multicast_address_, *pppoe_name_, *pppoe_password_;
    QLineEdit* stream_port_;  // own protocol
    QCheckBox* dhcp_;
    PageRecord record_;
    PageRecord dhcp_record_;   // LangChi connection type
    PageRecord pppoe_record_;  // LangChi PPPoE account
};

}  // namespace configctrl
