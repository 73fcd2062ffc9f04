#include "configctrl/window/pages/storage_device_dlg.h"

namespace configctrl {

CStorageDeviceDlg::CStorageDeviceDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CStorageDeviceDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
