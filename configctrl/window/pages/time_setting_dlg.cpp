#include "configctrl/window/pages/time_setting_dlg.h"

namespace configctrl {

CTimeSettingDlg::CTimeSettingDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CTimeSettingDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
