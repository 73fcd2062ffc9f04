#include "configctrl/window/pages/wifi_set_dlg.h"

namespace configctrl {

CWifiSetDlg::CWifiSetDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CWifiSetDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
