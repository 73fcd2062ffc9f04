#include "configctrl/window/pages/stream_protocol_dlg.h"

namespace configctrl {

CStreamProtocolDlg::CStreamProtocolDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CStreamProtocolDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
