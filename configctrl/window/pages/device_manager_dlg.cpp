#include "configctrl/window/pages/device_manager_dlg.h"

namespace configctrl {

CDeviceManagerDlg::CDeviceManagerDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CDeviceManagerDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
