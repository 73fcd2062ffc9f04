#include "configctrl/window/pages/dlg_remote_motion_detect.h"

namespace configctrl {

CDlgRemoteMotionDetect::CDlgRemoteMotionDetect(CFrontSetDialog* owner)
    : CPageDialog(kDialogId, owner) {}

void CDlgRemoteMotionDetect::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
