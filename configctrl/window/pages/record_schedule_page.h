// What the pages "Timer Record" and "Ftp record" share: the channel list
// (493), the enable check box (494), seven schedule rows (day-mode lists
// 495-501, start hour 502-508, start minute 509-515, end hour 516-522, end
// minute 523-529, times shown as "%02d") and "OK" (281).
//
// The page caches the record of the current channel: the first activation
// after a channel change reads it, later ones show the cache. Changing the
// channel asks whether to save the shown one first, then discards the cache
// and reads the new channel. The LangChi path is the default; a page with
// another path overrides ReadRecord/ShowRecord/TakeControls/WriteRecord.
#pragma once

#include <array>
#include <cstddef>

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;

namespace configctrl {

// Where a LangChi schedule record lies: its commands, size, the 32-bit
// enable flag and the seven rows of 8 bytes (start hour, start minute, end
// hour, end minute, day-mode index; the last three bytes kept).
struct LangChiScheduleLayout {
    int read_command;
    int write_command;
    size_t bytes;
    size_t enable_at;
    size_t rows_at;
};

class CRecordSchedulePage : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kRows = 7;
    // The four time edits of a row: start hour, start minute, end hour, end minute.
    static constexpr int kTimes = 4;

    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    int channel() const { return channel_; }
    const PageRecord& record() const { return record_; }

    QComboBox* channel_list() const { return channel_list_; }
    QCheckBox* enable_box() const { return enable_; }
    QComboBox* mode_list(int row) const { return modes_[row]; }
    QLineEdit* time_edit(int row, int field) const { return times_[row][field]; }
    QPushButton* ok_button() const { return ok_; }

protected:
    CRecordSchedulePage(int dialog_id, CFrontSetDialog* owner, const char* enable_text,
                        const LangChiScheduleLayout& layout, bool report_save);

    // The size of the cached record for this device.
    virtual size_t RecordBytes() const;
    // Reads the channel's record into the (zeroed) cache; true on success.
    virtual bool ReadRecord(int channel);
    // The cache into the controls.
    virtual void ShowRecord();
    // The controls into the cache; false (cache untouched) when a value does
    // not fit the record.
    virtual bool TakeControls();
    // Writes the cache for the channel; true on success.
    virtual bool WriteRecord(int channel);

    // Back to the initial controls: rows on "close", edits empty, box clear.
    virtual void ClearControls();
    // An edit's value: at most two characters as an integer (0 when empty).
    static int EditValue(const QLineEdit* edit);
    QGridLayout* rows_grid() const { return rows_grid_; }

    PageRecord record_;  // empty until read; the current channel's record

private:
    void Save();
    void ChangeChannel(int index);

    LangChiScheduleLayout layout_;
    bool report_save_;
    bool read_ok_ = false;  // the cache holds what the device sent
    int channel_ = 0;

    QComboBox* channel_list_;
    QCheckBox* enable_;
    std::array<QComboBox*, kRows> modes_{};
    std::array<std::array<QLineEdit*, kTimes>, kRows> times_{};
    QGridLayout* rows_grid_;
    QPushButton* ok_;
};

}  // namespace configctrl
