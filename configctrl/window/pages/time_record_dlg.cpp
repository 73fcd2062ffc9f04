#include "configctrl/window/pages/time_record_dlg.h"

namespace configctrl {

CTimeRecordDlg::CTimeRecordDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}

void CTimeRecordDlg::OnPageActivated(quint32, quint32) {}

}  // namespace configctrl
