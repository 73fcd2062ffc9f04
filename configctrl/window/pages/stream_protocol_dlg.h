// The page "transport protocol" (dialog 216): RTSP on or off, its listening
// port and the first RTP-over-UDP port. The "TS" group is there but hidden.
#pragma once

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;

namespace configctrl {

class CStreamProtocolDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 216;
    explicit CStreamProtocolDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
    void OnSave();

private:
    QCheckBox* rtsp_;
    QLineEdit* port_;
    QLineEdit* rtp_port_;
    QWidget* rtp_label_;
    QGroupBox* ts_;
    PageRecord record_;
};

}  // namespace configctrl
