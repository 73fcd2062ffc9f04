#include "configctrl/window/pages/device_base_dlg.h"

namespace configctrl {

CDeviceBaseDlg::CDeviceBaseDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CDeviceBaseDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
