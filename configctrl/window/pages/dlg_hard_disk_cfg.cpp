#include "configctrl/window/pages/dlg_hard_disk_cfg.h"

namespace configctrl {

CDlgHardDiskCfg::CDlgHardDiskCfg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CDlgHardDiskCfg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
