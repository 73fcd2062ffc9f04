// The page "Timer Record" (dialog 228): timed recording on or off and its
// weekly schedule, per channel.
//
// LangChi: the 132-byte channel record of commands 8/9 (the one whose encoder
// fields the video coding page edits): enable flag at 72, rows from 76.
// "OK" reports "Set success" or "Set failed".
//
// Own protocol: the channel's record group. Its schedule has two windows per
// day, so the seven rows are the days Monday to Sunday, each row's list
// offers only that day and "close", and a second window per row (edits
// 530-536 start hour, 537-543 start minute, 544-550 end hour, 551-557 end
// minute) follows the first. "Start Timer Record" is the record mode
// "schedule"; clearing it turns a scheduled mode "off" and leaves "always".
// A day on "close" gets both windows empty; times the record cannot hold
// (past 24:00) are refused with "Set failed" and nothing is sent.
#pragma once

#include "configctrl/window/pages/record_schedule_page.h"

namespace configctrl {

class CTimeRecordDlg : public CRecordSchedulePage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 228;
    static constexpr LangChiScheduleLayout kLayout = {8, 9, 132, 72, 76};
    explicit CTimeRecordDlg(CFrontSetDialog* owner);

    // The own protocol's second window of a row (null for other devices).
    QLineEdit* second_edit(int row, int field) const { return second_[row][field]; }

protected:
    size_t RecordBytes() const override;
    bool ReadRecord(int channel) override;
    void ShowRecord() override;
    bool TakeControls() override;
    bool WriteRecord(int channel) override;
    void ClearControls() override;

private:
    bool own_ = false;  // an own-protocol device
    std::array<std::array<QLineEdit*, kTimes>, kRows> second_{};
};

}  // namespace configctrl
