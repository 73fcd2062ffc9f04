#include "configctrl/window/pages/motion_param_dialog.h"

namespace configctrl {

CMotionParamDialog::CMotionParamDialog(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CMotionParamDialog::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
