#include "configctrl/window/pages/ftp_net_setting.h"

namespace configctrl {

CFtpNetSetTing::CFtpNetSetTing(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CFtpNetSetTing::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
