// The weekly schedule editor shared by the alarm output and the motion
// detection pages: N periods of one day, each four integer edits (start
// hour, start minute, stop hour, stop minute) with consecutive control ids,
// and the check a day's periods must pass before they are stored.
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

class QLineEdit;

namespace configctrl {

struct SchedulePeriod {
    int start_hour = 0, start_minute = 0, stop_hour = 0, stop_minute = 0;
};

// The English message for the first rule the periods break, or nullptr when
// they pass: hours 0..24, minutes 0..60, no time past 24:00, no stop before
// its start, no two periods overlapping (periods that only touch, and
// empty periods, pass).
const char* CheckSchedule(const std::vector<SchedulePeriod>& periods);

// One day's periods as record bytes (4 per period) and back.
void PeriodsToBytes(const std::vector<SchedulePeriod>& periods, uint8_t* out);
std::vector<SchedulePeriod> PeriodsFromBytes(const uint8_t* bytes, int count);

class CScheduleEditor : public QWidget {
    Q_OBJECT

public:
    // `first_control_id`: the id of period 1's start hour; the four edits of
    // period p are first + 4p .. first + 4p + 3 (object names "ctl<id>").
    CScheduleEditor(int periods, int first_control_id, QWidget* parent);

    int period_count() const { return static_cast<int>(edits_.size() / 4); }
    // The edits as numbers (an empty edit is 0).
    std::vector<SchedulePeriod> Periods() const;
    void SetPeriods(const std::vector<SchedulePeriod>& periods);
    QLineEdit* edit(int period, int field) const { return edits_[4 * period + field]; }

private:
    std::vector<QLineEdit*> edits_;
};

}  // namespace configctrl
