#include "configctrl/window/pages/video_param_dialog.h"

namespace configctrl {

CVideoParamDialog::CVideoParamDialog(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CVideoParamDialog::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
