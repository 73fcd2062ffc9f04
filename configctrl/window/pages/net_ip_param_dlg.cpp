#include "configctrl/window/pages/net_ip_param_dlg.h"

namespace configctrl {

CNetIPParamDlg::CNetIPParamDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CNetIPParamDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
