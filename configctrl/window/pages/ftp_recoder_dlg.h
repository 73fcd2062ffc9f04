// The page "Ftp record" (dialog 214) of LangChi devices: FTP uploads on or
// off and their weekly schedule, in the 60-byte record of commands 184/185
// (enable flag at 0, rows from 4). Saving shows no message.
#pragma once

#include "configctrl/window/pages/record_schedule_page.h"

namespace configctrl {

class CFtpRecoderDlg : public CRecordSchedulePage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 214;
    static constexpr LangChiScheduleLayout kLayout = {184, 185, 60, 0, 4};
    explicit CFtpRecoderDlg(CFrontSetDialog* owner);
};

}  // namespace configctrl
