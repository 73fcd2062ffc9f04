#include "configctrl/window/pages/ftp_recoder_dlg.h"

namespace configctrl {

CFtpRecoderDlg::CFtpRecoderDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CFtpRecoderDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
