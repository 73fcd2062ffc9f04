#include "configctrl/window/pages/ftp_recoder_dlg.h"

namespace configctrl {

CFtpRecoderDlg::CFtpRecoderDlg(CFrontSetDialog* owner)
    : CRecordSchedulePage(kDialogId, owner, "Start FTP Record", kLayout, false) {}

}  // namespace configctrl
