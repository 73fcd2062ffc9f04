// The page "sensor alarm" of ANTS devices (dialog 224): alarm inputs (name,
// contact type, handling) and alarm outputs (name, hold time, a weekly
// schedule of eight periods a day). One record per input and per output is
// read on the first activation and cached; edits mark their record dirty and
// "save" writes only the dirty records. "Setup" and "Trigger PTZ" open the
// input's handling dialog (CDlgRemoteAlarmInHandle).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <QPointer>

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/dlg_remote_alarm_in_handle.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace configctrl {

class CScheduleEditor;

class CSubDlgAlarmCfg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 224;
    static constexpr int kMaxInputs = 16, kMaxOutputs = 4;
    static constexpr int kInputBytes = 592, kOutputBytes = 280;
    static constexpr int kReadInput = 108, kWriteInput = 208;
    static constexpr int kReadOutput = 109, kWriteOutput = 209;
    // Fields of the records.
    static constexpr int kInputName = 4, kNameBytes = 32, kContactType = 36, kHandling = 37;
    static constexpr int kOutputName = 4, kHoldTime = 36, kSchedule = 40;
    static constexpr int kPeriods = 8, kDayBytes = 4 * kPeriods, kDays = 7;

    explicit CSubDlgAlarmCfg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    struct Record {
        std::vector<uint8_t> bytes;
        bool dirty = false;
    };
    const std::vector<Record>& inputs() const { return inputs_; }
    const std::vector<Record>& outputs() const { return outputs_; }
    CScheduleEditor* schedule() const { return schedule_; }
    CDlgRemoteAlarmInHandle* handle_dialog() const { return handle_dialog_; }

private:
    void Load();
    void ShowInput(int index);
    void StoreInput();
    void CopyInput();
    void OpenHandling(CDlgRemoteAlarmInHandle::Section section);
    void ShowOutput(int index);
    void StoreOutput();
    void ShowDay();
    void ConfirmDay();
    void CopyDay();
    void CopyOutput();
    void Save();
    void SetState(const char* english);

    bool loaded_ = false;
    std::vector<Record> inputs_, outputs_;
    int shown_input_ = -1, shown_output_ = -1;

    QComboBox *input_list_, *input_copy_list_, *contact_list_;
    QLineEdit* input_name_;
    QCheckBox* handling_;
    QPushButton *handling_setup_, *ptz_, *copy_input_;
    QPointer<CDlgRemoteAlarmInHandle> handle_dialog_;
    QComboBox *output_list_, *output_copy_list_, *hold_list_, *day_list_, *day_copy_list_;
    QLineEdit *output_name_, *state_;
    QPushButton *copy_day_, *copy_output_;
    CScheduleEditor* schedule_;
};

}  // namespace configctrl
