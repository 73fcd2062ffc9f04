#include "configctrl/window/pages/ddns_setting_dlg.h"

namespace configctrl {

CDdnsSettingDlg::CDdnsSettingDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CDdnsSettingDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
