#include "configctrl/window/pages/user_manager_dlg.h"

namespace configctrl {

CUserManagerDlg::CUserManagerDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CUserManagerDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
