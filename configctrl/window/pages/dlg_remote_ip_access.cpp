#include "configctrl/window/pages/dlg_remote_ip_access.h"

namespace configctrl {

CDlgRemoteIPAccess::CDlgRemoteIPAccess(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CDlgRemoteIPAccess::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
