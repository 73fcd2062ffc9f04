// The page "time setting" (dialog 212): the device clock, refreshed once a
// second from the first successful read until the window goes, and the
// three ways of setting it (manual, the computer's clock, a time server:
// the last sends nothing).
//
// Own-protocol devices: the clock is the base record's "clock" field, set
// with the clock command. "Server synchronization" switches the device's
// time-server client on with the server in edit 243; the other two switch it
// off (it would overwrite the clock just set).
#pragma once

#include <QDateTime>

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QDateEdit;
class QLineEdit;
class QRadioButton;
class QTimeEdit;
class QTimer;

namespace configctrl {

class CTimeSettingDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 212;
    static constexpr int kClockTimerMs = 1000;
    explicit CTimeSettingDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;
    void OnSave();
    bool clock_running() const;

private:
    // Reads the device clock into the record and the display; false on failure.
    bool ReadClock();
    bool WriteClock(const QDateTime& t);
    // Own protocol: the time-server settings of the network record.
    bool WriteTimeServer(bool on);

    QLineEdit* clock_;
    QRadioButton* manual_;
    QRadioButton* pc_;
    QRadioButton* server_;
    QDateEdit* date_;
    QTimeEdit* time_;
    QLineEdit* server_address_;
    QTimer* timer_;
    PageRecord record_;
    PageRecord network_;  // own protocol: read on first activation
};

}  // namespace configctrl
