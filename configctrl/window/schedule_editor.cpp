#include "configctrl/window/schedule_editor.h"

#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

#include "configctrl/control/language_dictionary.h"

namespace configctrl {

const char* CheckSchedule(const std::vector<SchedulePeriod>& periods) {
    for (const SchedulePeriod& p : periods)
        for (int h : {p.start_hour, p.stop_hour})
            if (h < 0 || h > 24) return "Hour between 0 - 24";
    for (const SchedulePeriod& p : periods)
        for (int m : {p.start_minute, p.stop_minute})
            if (m < 0 || m > 60) return "Minute between 0 - 60";
    std::vector<int> start, stop;
    for (const SchedulePeriod& p : periods) {
        start.push_back(p.start_hour * 100 + p.start_minute);
        stop.push_back(p.stop_hour * 100 + p.stop_minute);
    }
    const size_t n = periods.size();
    for (size_t i = 0; i < n; ++i) {
        if (start[i] > 2400 || stop[i] > 2400) return "Fortify time can not be more than 24:00";
        if (stop[i] < start[i])
            return "Fortify start time can not be larger than the record to stop time";
        for (size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            auto inside = [&](int t) { return t > start[j] && t < stop[j]; };
            // Two equal periods that are not empty overlap as well.
            const bool same = start[i] == start[j] && stop[i] == stop[j] && start[i] < stop[i];
            if (inside(start[i]) || inside(stop[i]) || same) return "time can not be repeated";
        }
    }
    return nullptr;
}

void PeriodsToBytes(const std::vector<SchedulePeriod>& periods, uint8_t* out) {
    for (const SchedulePeriod& p : periods) {
        *out++ = static_cast<uint8_t>(p.start_hour);
        *out++ = static_cast<uint8_t>(p.start_minute);
        *out++ = static_cast<uint8_t>(p.stop_hour);
        *out++ = static_cast<uint8_t>(p.stop_minute);
    }
}

std::vector<SchedulePeriod> PeriodsFromBytes(const uint8_t* bytes, int count) {
    std::vector<SchedulePeriod> periods(static_cast<size_t>(count));
    for (SchedulePeriod& p : periods) {
        p = {bytes[0], bytes[1], bytes[2], bytes[3]};
        bytes += 4;
    }
    return periods;
}

CScheduleEditor::CScheduleEditor(int periods, int first_control_id, QWidget* parent)
    : QWidget(parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    auto* validator = new QIntValidator(0, 99, this);
    for (int p = 0; p < periods; ++p) {
        grid->addWidget(new QLabel(TranslateText(QString("Period %1").arg(p + 1)), this), p, 0);
        for (int f = 0; f < 4; ++f) {
            auto* edit = new QLineEdit(this);
            edit->setObjectName(QString("ctl%1").arg(first_control_id + 4 * p + f));
            edit->setValidator(validator);
            edit->setMaxLength(2);
            edit->setAlignment(Qt::AlignRight);
            edit->setFixedWidth(edit->fontMetrics().horizontalAdvance("000") + 12);
            // start hour : start minute  -  stop hour : stop minute
            const int column = 1 + 2 * f;
            grid->addWidget(edit, p, column);
            if (f < 3)
                grid->addWidget(new QLabel(f == 1 ? "-" : ":", this), p, column + 1,
                                Qt::AlignCenter);
            edits_.push_back(edit);
        }
    }
    grid->setColumnStretch(9, 1);
    SetPeriods(std::vector<SchedulePeriod>(static_cast<size_t>(periods)));
}

std::vector<SchedulePeriod> CScheduleEditor::Periods() const {
    std::vector<SchedulePeriod> periods(static_cast<size_t>(period_count()));
    for (size_t p = 0; p < periods.size(); ++p) {
        int v[4];
        for (int f = 0; f < 4; ++f) v[f] = edits_[4 * p + f]->text().toInt();
        periods[p] = {v[0], v[1], v[2], v[3]};
    }
    return periods;
}

void CScheduleEditor::SetPeriods(const std::vector<SchedulePeriod>& periods) {
    for (size_t p = 0; p < periods.size() && p < static_cast<size_t>(period_count()); ++p) {
        const SchedulePeriod& s = periods[p];
        const int v[4] = {s.start_hour, s.start_minute, s.stop_hour, s.stop_minute};
        for (int f = 0; f < 4; ++f) edits_[4 * p + f]->setText(QString::asprintf("%02d", v[f]));
    }
}

}  // namespace configctrl
