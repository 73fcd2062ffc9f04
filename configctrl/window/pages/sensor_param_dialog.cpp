#include "configctrl/window/pages/sensor_param_dialog.h"

namespace configctrl {

CSensorParamDialog::CSensorParamDialog(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CSensorParamDialog::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
