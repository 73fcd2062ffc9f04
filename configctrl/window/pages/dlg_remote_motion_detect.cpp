#include "configctrl/window/pages/dlg_remote_motion_detect.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/live_preview.h"
#include "configctrl/window/pages/page_kit.h"
#include "configctrl/window/page_widgets.h"
#include "configctrl/window/schedule_editor.h"
#include "configctrl/window/tips_box.h"
#include "zynvs/wire/param_fields.h"

namespace configctrl {

namespace {

using zyn::wire::FieldValue;
using zyn::wire::FindField;
using zyn::wire::ParamGroup;
using zyn::wire::SetFieldValue;

constexpr int kZynColumns = zyn::wire::kMotionGridColumns, kZynRows = zyn::wire::kMotionGridRows;
constexpr int kZynWindows = 2;  // schedule windows a day

int ZynRecordBytes() {
    return zyn::wire::GroupInfo(ParamGroup::kMotion).record_bytes;
}
const zyn::wire::ParamField& ZynField(const std::string& name) {
    static const zyn::wire::ParamField none{};
    const zyn::wire::ParamField* f = FindField(ParamGroup::kMotion, name);
    return f != nullptr ? *f : none;
}
int64_t ZynGet(const std::vector<uint8_t>& r, const std::string& name) {
    const auto& f = ZynField(name);
    return f.name != nullptr ? FieldValue(r.data(), f) : 0;
}
void ZynSet(std::vector<uint8_t>& r, const std::string& name, int64_t v) {
    const auto& f = ZynField(name);
    if (f.name != nullptr) SetFieldValue(r.data(), f, v);
}
// The schedule window of the page's day (Monday first) in the record's week
// (Sunday first).
std::string ZynWindow(int page_day, int window) {
    static const char* const kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    return std::string(kDays[page_day]) + std::to_string(window + 1);
}
std::vector<SchedulePeriod> ZynPeriods(const std::vector<uint8_t>& r, int day) {
    std::vector<SchedulePeriod> periods(CDlgRemoteMotionDetect::kPeriods);
    for (int w = 0; w < kZynWindows; ++w) {
        const auto v = static_cast<uint32_t>(ZynGet(r, ZynWindow(day, w)));
        const int start = v & 0xFFFF, stop = v >> 16;
        periods[w] = {start / 60, start % 60, stop / 60, stop % 60};
    }
    return periods;
}
void SetZynPeriods(std::vector<uint8_t>& r, int day, const std::vector<SchedulePeriod>& periods) {
    for (int w = 0; w < kZynWindows && w < static_cast<int>(periods.size()); ++w) {
        const SchedulePeriod& p = periods[w];
        const uint32_t start = p.start_hour * 60 + p.start_minute;
        const uint32_t stop = p.stop_hour * 60 + p.stop_minute;
        ZynSet(r, ZynWindow(day, w), start | stop << 16);
    }
}

}  // namespace

QPoint CMotionArea::Round(QPoint p) const {
    auto round = [this](int v) { return std::max(0, v - 10) / step * step; };
    return {round(p.x()), round(p.y())};
}

bool CMotionArea::Press(QPoint p) {
    if (!drawing) return false;
    current_ = next_slot;
    next_slot = (next_slot + 1) % kSlots;
    const QPoint anchor = Round(p);
    rects[current_] = QRect(anchor, anchor);
    return true;
}

bool CMotionArea::Drag(QPoint p) {
    if (!drawing || current_ < 0) return false;
    rects[current_].setBottomRight(Round(p));
    return true;
}

// Opaque colours only: the overlay is shaped to what is painted.
void CMotionArea::Paint(QPainter& painter) const {
    if (show_grid && grid_columns > 0) {
        painter.setPen(QPen(QColor(255, 60, 60), 1));
        painter.setBrush(QBrush(QColor(255, 60, 60), Qt::BDiagPattern));
        for (size_t i = 0; i < grid.size(); ++i)
            if (grid[i])
                painter.drawRect(static_cast<int>(i % grid_columns) * step,
                                 static_cast<int>(i / grid_columns) * step, step - 1, step - 1);
    }
    if (drawing) {
        painter.setPen(QPen(QColor(40, 255, 40), 2));
        painter.setBrush(Qt::NoBrush);
        for (const QRect& r : rects)
            if (!r.isNull()) painter.drawRect(QRect(r.topLeft(), r.bottomRight()).normalized());
    }
}

void CDlgRemoteMotionDetect::MarkGrid(const std::array<QRect, CMotionArea::kSlots>& rects, int step,
                                      uint8_t* grid, int columns, int rows) {
    std::memset(grid, 0, static_cast<size_t>(rows) * columns);
    for (const QRect& r : rects) {
        if (r.isNull()) continue;
        const int x0 = std::min(r.left(), r.right()) / step;
        const int x1 = std::min(std::max(r.left(), r.right()) / step, columns);
        const int y0 = std::min(r.top(), r.bottom()) / step;
        const int y1 = std::min(std::max(r.top(), r.bottom()) / step, rows);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) grid[columns * y + x] = 1;
    }
}

CDlgRemoteMotionDetect::CDlgRemoteMotionDetect(CFrontSetDialog* owner)
    : CPageDialog(kDialogId, owner) {
    auto* page = new QGridLayout(this);

    // Channel, preview and area tools.
    auto* top = new QHBoxLayout;
    channel_list_ = MakeCombo(this, 307);
    top->addWidget(MakeLabel(this, "Channel"));
    top->addWidget(channel_list_);
    precision_ = MakeCombo(this, 651, {"8", "16", "32"});
    precision_->setCurrentIndex(1);
    precision_->hide();
    top->addStretch(1);
    page->addLayout(top, 0, 0);

    preview_ = new CLivePreview(this);
    preview_->setObjectName("ctl639");
    preview_->setFixedSize(352, 288);
    preview_->SetOverlayPainter([this](QPainter& p) { area_.Paint(p); });
    page->addWidget(preview_, 1, 0);

    auto* tools = new QGridLayout;
    show_area_ = MakeCheck(this, 644, "Show Motion Area");
    setup_area_ = MakeCheck(this, 645, "Setup Motion Area");
    auto* clear = MakeButton(this, 397, "clear");
    auto* all = MakeButton(this, 398, "all");
    tools->addWidget(show_area_, 0, 0);
    tools->addWidget(setup_area_, 0, 1);
    tools->addWidget(clear, 1, 0);
    tools->addWidget(all, 1, 1);
    tools->setColumnStretch(2, 1);
    page->addLayout(tools, 2, 0);

    // Sensitivity and actions.
    auto* handling = new QGroupBox(Tr("Handling"), this);
    auto* h = new QGridLayout(handling);
    sensitivity_ = MakeCombo(handling, 646, {"lowest", "1", "2", "3", "4", "highest"});
    h->addWidget(MakeLabel(handling, "Sensitivity"), 0, 0);
    h->addWidget(sensitivity_, 0, 1);
    const std::pair<int, const char*> actions[] = {{640, "Show Alarm"},
                                                   {641, "Audio Alarm"},
                                                   {642, "Report Alarm"},
                                                   {624, "Email JPEG"},
                                                   {643, "Trigger Alarm Output:"}};
    for (size_t k = 0; k < actions_.size(); ++k) {
        actions_[k] = MakeCheck(handling, actions[k].first, actions[k].second);
        h->addWidget(actions_[k], 1 + static_cast<int>(k) / 2, static_cast<int>(k) % 2);
    }
    outputs_ = new QTreeWidget(handling);
    outputs_->setObjectName("ctl626");
    channels_ = new QTreeWidget(handling);
    channels_->setObjectName("ctl625");
    for (QTreeWidget* t : {outputs_, channels_}) {
        t->setHeaderHidden(true);
        t->setRootIsDecorated(false);
        t->setMinimumHeight(60);
        t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    h->addWidget(outputs_, 4, 0);
    h->addWidget(channels_, 4, 1);
    page->addWidget(handling, 0, 1, 2, 1);

    // Schedule.
    auto* sched = new QGroupBox(Tr("Schedule"), this);
    auto* s = new QGridLayout(sched);
    day_list_ = MakeCombo(sched, 647, {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"});
    day_copy_list_ =
        MakeCombo(sched, 648, {"All week", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"});
    auto* copy = MakeButton(sched, 649, "Copy");
    auto* confirm = MakeButton(sched, 650, "Confirm");
    schedule_ = new CScheduleEditor(kPeriods, 571, sched);
    s->addWidget(MakeLabel(sched, "Date"), 0, 0);
    s->addWidget(day_list_, 0, 1);
    s->addWidget(confirm, 0, 2);
    s->addWidget(schedule_, 1, 0, 1, 3);
    s->addWidget(MakeLabel(sched, "Copy to"), 2, 0);
    s->addWidget(day_copy_list_, 2, 1);
    s->addWidget(copy, 2, 2);
    s->setRowStretch(3, 1);
    page->addWidget(sched, 2, 1, 2, 1, Qt::AlignTop);

    auto* save = MakeButton(this, 637, "Confirm");
    page->addWidget(save, 4, 1, Qt::AlignRight);
    page->setRowStretch(3, 1);
    page->setColumnStretch(1, 1);

    connect(channel_list_, &QComboBox::currentIndexChanged, this,
            [this](int i) { ChangeChannel(i); });
    connect(precision_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!IsZyn()) area_.step = 8 << std::clamp(i, 0, 2);
    });
    connect(preview_, &CLivePreview::Pressed, this, [this](QPoint p) {
        if (area_.Press(p)) Redraw();
    });
    connect(preview_, &CLivePreview::Dragged, this, [this](QPoint p) {
        if (area_.Drag(p)) Redraw();
    });
    connect(setup_area_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            show_area_->setChecked(false);
            area_.rects = {};
            area_.next_slot = 0;
            area_set_up_ = true;
        }
        area_.drawing = on;
        Redraw();
    });
    connect(show_area_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) setup_area_->setChecked(false);
        area_.show_grid = on;
        ShowGrid();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        area_.rects = {};
        area_set_up_ = true;
        Redraw();
    });
    connect(all, &QPushButton::clicked, this, [this] {
        const int columns = IsZyn() ? kZynColumns : kColumns, rows = IsZyn() ? kZynRows : kRows;
        area_.rects = {};
        area_.rects[0] = QRect(QPoint(0, 0), QPoint(columns * area_.step, rows * area_.step));
        area_.next_slot = 1;
        area_set_up_ = true;
        Redraw();
    });
    connect(day_list_, &QComboBox::currentIndexChanged, this, [this](int day) {
        if (record_.empty()) return;
        schedule_->SetPeriods(
            IsZyn() ? ZynPeriods(record_, day)
                    : PeriodsFromBytes(record_.data() + kSchedule + kDayBytes * day, kPeriods));
    });
    connect(confirm, &QPushButton::clicked, this, [this] { StoreDay(); });
    connect(copy, &QPushButton::clicked, this, [this] { CopyDay(); });
    connect(save, &QPushButton::clicked, this, [this] { Save(); });
}

QWidget* CDlgRemoteMotionDetect::area() const {
    return preview_;
}

bool CDlgRemoteMotionDetect::IsZyn() const {
    return owner()->device_type() == kDeviceTypeZyn && owner()->device() != nullptr;
}

void CDlgRemoteMotionDetect::OnPageActivated(quint32, quint32) {
    CDevice* device = owner()->device();
    if (dynamic_cast<CANTSDevice*>(device) == nullptr && !IsZyn()) return;
    if (channel_list_->count() == 0) {
        const QSignalBlocker block(channel_list_);
        const int channels = PageChannelCount(this);
        for (int c = 0; c < channels; ++c) channel_list_->addItem(QString::number(c + 1));
        const int outputs = IsZyn() ? 0 : std::min(owner()->alarm_out_count(), kMaxOutputs);
        for (int o = 0; o < outputs; ++o)
            new QTreeWidgetItem(outputs_, {TranslateText(QString("AlarmOut%1").arg(o + 1))});
        const int max_channels =
            IsZyn() ? std::bit_width(static_cast<uint64_t>(ZynField("record_channels").max)) : 32;
        for (int c = 0; c < std::min(channels, max_channels); ++c)
            new QTreeWidgetItem(channels_, {TranslateText(QString("Channel %1").arg(c + 1))});
        for (QTreeWidget* t : {outputs_, channels_})
            for (int i = 0; i < t->topLevelItemCount(); ++i)
                t->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        if (IsZyn()) {  // what the own motion group has no field for
            area_.step = kZynStep;
            actions_[0]->hide();
            actions_[1]->hide();
            outputs_->hide();
            for (int p = kZynWindows; p < kPeriods; ++p)
                for (int f = 0; f < 4; ++f) schedule_->edit(p, f)->setEnabled(false);
        }
    }
    preview_->Start(device, channel_);
    if (record_.empty()) Load();
}

void CDlgRemoteMotionDetect::Load() {
    area_set_up_ = false;
    area_.rects = {};
    if (IsZyn()) {
        record_.assign(ZynRecordBytes(), 0);
        if (owner()->device()->GetParam(channel_, kGroupMotion, record_.data()))
            sensitivity_->setCurrentIndex(
                std::clamp(static_cast<int>(ZynGet(record_, "sensitivity")) - 1, 0, 5));
    } else {
        auto* ants = dynamic_cast<CANTSDevice*>(owner()->device());
        record_.assign(kRecordBytes, 0);
        if (ants->GetDVRConfig(kRead, channel_, record_.data(), kRecordBytes, nullptr)) {
            const int v = record_[kSensitivity];
            sensitivity_->setCurrentIndex(v == 255 ? 0
                                                   : std::min(v + 1, sensitivity_->count() - 1));
        }
    }
    ShowRecord();
}

void CDlgRemoteMotionDetect::ShowRecord() {
    if (IsZyn()) {
        actions_[2]->setChecked(ZynGet(record_, "enabled") != 0);
        actions_[3]->setChecked(ZynGet(record_, "capture") != 0);
        actions_[4]->setChecked(ZynGet(record_, "alarm_out") != 0);
        const int64_t bits = ZynGet(record_, "record_channels");
        for (int i = 0; i < channels_->topLevelItemCount(); ++i)
            channels_->topLevelItem(i)->setCheckState(0,
                                                      bits >> i & 1 ? Qt::Checked : Qt::Unchecked);
        schedule_->SetPeriods(ZynPeriods(record_, day_list_->currentIndex()));
    } else {
        const int offsets[] = {kShowAlarm, kAudioAlarm, kReportAlarm, kEmailJpeg, kTriggerOutput};
        for (size_t k = 0; k < actions_.size(); ++k)
            actions_[k]->setChecked(record_[offsets[k]] != 0);
        for (int i = 0; i < outputs_->topLevelItemCount(); ++i)
            outputs_->topLevelItem(i)->setCheckState(
                0, record_[kOutputs + i] ? Qt::Checked : Qt::Unchecked);
        for (int i = 0; i < channels_->topLevelItemCount(); ++i)
            channels_->topLevelItem(i)->setCheckState(
                0, record_[kRecordChannels + i] ? Qt::Checked : Qt::Unchecked);
        schedule_->SetPeriods(PeriodsFromBytes(
            record_.data() + kSchedule + kDayBytes * day_list_->currentIndex(), kPeriods));
    }
    ShowGrid();
}

void CDlgRemoteMotionDetect::ShowGrid() {
    area_.grid.clear();
    area_.grid_columns = 0;
    if (!record_.empty()) {
        if (IsZyn()) {
            area_.grid.assign(kZynColumns * kZynRows, 0);
            for (int r = 0; r < kZynRows; ++r) {
                const int64_t bits = ZynGet(record_, "row" + std::to_string(r));
                for (int c = 0; c < kZynColumns; ++c)
                    area_.grid[kZynColumns * r + c] = bits >> c & 1;
            }
            area_.grid_columns = kZynColumns;
        } else {
            area_.grid.assign(record_.begin(), record_.begin() + kRows * kColumns);
            area_.grid_columns = kColumns;
        }
    }
    Redraw();
}

void CDlgRemoteMotionDetect::Redraw() {
    preview_->UpdateOverlay();
}

// The shown periods into the cached day, when they pass the check.
bool CDlgRemoteMotionDetect::StoreDay() {
    const std::vector<SchedulePeriod> periods = schedule_->Periods();
    if (const char* error = CheckSchedule(periods)) {
        ShowTips(this, error);
        return false;
    }
    if (record_.empty()) return true;
    if (IsZyn())
        SetZynPeriods(record_, day_list_->currentIndex(), periods);
    else
        PeriodsToBytes(periods, record_.data() + kSchedule + kDayBytes * day_list_->currentIndex());
    return true;
}

void CDlgRemoteMotionDetect::CopyDay() {
    if (record_.empty()) return;
    const int from = day_list_->currentIndex(), to = day_copy_list_->currentIndex() - 1;
    for (int d = 0; d < kDays; ++d) {
        if (d == from || (to >= 0 && to != d)) continue;
        if (IsZyn())
            SetZynPeriods(record_, d, ZynPeriods(record_, from));
        else
            std::memmove(record_.data() + kSchedule + kDayBytes * d,
                         record_.data() + kSchedule + kDayBytes * from, kDayBytes);
    }
}

void CDlgRemoteMotionDetect::Save() {
    auto* ants = dynamic_cast<CANTSDevice*>(owner()->device());
    if ((ants == nullptr && !IsZyn()) || record_.empty()) {
        ShowTips(this, "Set failed");
        return;
    }
    if (!StoreDay()) return;
    const int sensitivity = sensitivity_->currentIndex();
    bool ok = false;
    if (IsZyn()) {
        if (area_set_up_) {
            std::vector<uint8_t> cells(kZynColumns * kZynRows);
            MarkGrid(area_.rects, area_.step, cells.data(), kZynColumns, kZynRows);
            for (int r = 0; r < kZynRows; ++r) {
                int64_t bits = 0;
                for (int c = 0; c < kZynColumns; ++c)
                    if (cells[kZynColumns * r + c]) bits |= int64_t{1} << c;
                ZynSet(record_, "row" + std::to_string(r), bits);
            }
        }
        ZynSet(record_, "sensitivity", sensitivity + 1);
        ZynSet(record_, "enabled", actions_[2]->isChecked());
        ZynSet(record_, "capture", actions_[3]->isChecked());
        ZynSet(record_, "alarm_out", actions_[4]->isChecked());
        int64_t bits = 0;
        for (int i = 0; i < channels_->topLevelItemCount(); ++i)
            if (channels_->topLevelItem(i)->checkState(0) == Qt::Checked) bits |= 1 << i;
        ZynSet(record_, "record_channels", bits);
        ZynSet(record_, "record", bits != 0);
        ok = owner()->device()->SetParam(channel_, kGroupMotion, record_.data()) != 0;
    } else {
        if (area_set_up_) MarkGrid(area_.rects, area_.step, record_.data());
        record_[kSensitivity] = static_cast<uint8_t>(sensitivity == 0 ? 255 : sensitivity - 1);
        const int offsets[] = {kShowAlarm, kAudioAlarm, kReportAlarm, kEmailJpeg, kTriggerOutput};
        for (size_t k = 0; k < actions_.size(); ++k) record_[offsets[k]] = actions_[k]->isChecked();
        for (int i = 0; i < outputs_->topLevelItemCount(); ++i)
            record_[kOutputs + i] = outputs_->topLevelItem(i)->checkState(0) == Qt::Checked;
        for (int i = 0; i < channels_->topLevelItemCount(); ++i)
            record_[kRecordChannels + i] = channels_->topLevelItem(i)->checkState(0) == Qt::Checked;
        ok = ants->SetDVRConfig(kWrite, channel_, record_.data(), kRecordBytes) != 0;
    }
    ShowTips(this, ok ? "Set success" : "Set failed");
    ShowGrid();
}

void CDlgRemoteMotionDetect::ChangeChannel(int channel) {
    if (channel < 0 || channel == channel_) return;
    preview_->Stop();
    channel_ = channel;
    record_.clear();
    setup_area_->setChecked(false);
    OnPageActivated(0, 0);
}

}  // namespace configctrl
