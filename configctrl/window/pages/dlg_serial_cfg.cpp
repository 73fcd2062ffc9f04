#include "configctrl/window/pages/dlg_serial_cfg.h"

namespace configctrl {

CDlgSerialCfg::CDlgSerialCfg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CDlgSerialCfg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
