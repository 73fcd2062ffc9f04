#include "configctrl/window/pages/sub_dlg_alarm_cfg.h"

namespace configctrl {

CSubDlgAlarmCfg::CSubDlgAlarmCfg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CSubDlgAlarmCfg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
