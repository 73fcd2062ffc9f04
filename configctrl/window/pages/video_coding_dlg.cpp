#include "configctrl/window/pages/video_coding_dlg.h"

namespace configctrl {

CVideoCodingDlg::CVideoCodingDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CVideoCodingDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
