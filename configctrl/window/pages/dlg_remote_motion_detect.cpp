#include "configctrl/window/pages/dlg_remote_motion_detect.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_widgets.h"
#include "configctrl/window/schedule_editor.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

CMotionArea::CMotionArea(QWidget* parent) : QWidget(parent) {
    setObjectName("motion_area");
    setAttribute(Qt::WA_TranslucentBackground);
}

QPoint CMotionArea::Round(QPoint p) const {
    auto round = [this](int v) { return std::max(0, v - 10) / step * step; };
    return {round(p.x()), round(p.y())};
}

void CMotionArea::mousePressEvent(QMouseEvent* event) {
    if (!drawing || event->button() != Qt::LeftButton) return;
    current_ = next_slot;
    next_slot = (next_slot + 1) % kSlots;
    const QPoint anchor = Round(event->position().toPoint());
    rects[current_] = QRect(anchor, anchor);
    update();
}

void CMotionArea::mouseMoveEvent(QMouseEvent* event) {
    if (!drawing || current_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
    rects[current_].setBottomRight(Round(event->position().toPoint()));
    update();
}

void CMotionArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (show_grid && grid != nullptr) {
        const QColor cell(255, 64, 64, 90);
        for (int r = 0; r < CDlgRemoteMotionDetect::kRows; ++r)
            for (int c = 0; c < CDlgRemoteMotionDetect::kColumns; ++c)
                if (grid[CDlgRemoteMotionDetect::kColumns * r + c])
                    painter.fillRect(c * step, r * step, step, step, cell);
    }
    if (drawing) {
        painter.setPen(QPen(Qt::green, 2));
        for (const QRect& r : rects)
            if (!r.isNull()) painter.drawRect(QRect(r.topLeft(), r.bottomRight()).normalized());
    }
}

void CDlgRemoteMotionDetect::MarkGrid(const std::array<QRect, CMotionArea::kSlots>& rects, int step,
                                      uint8_t* grid) {
    std::memset(grid, 0, kRows * kColumns);
    for (const QRect& r : rects) {
        if (r.isNull()) continue;
        const int x0 = std::min(r.left(), r.right()) / step;
        const int x1 = std::min(std::max(r.left(), r.right()) / step, kColumns);
        const int y0 = std::min(r.top(), r.bottom()) / step;
        const int y1 = std::min(std::max(r.top(), r.bottom()) / step, kRows);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) grid[kColumns * y + x] = 1;
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

    preview_ = new QFrame(this);
    preview_->setObjectName("ctl639");
    preview_->setFixedSize(352, 288);
    preview_->setStyleSheet("QFrame#ctl639 { background: black; }");
    auto* over = new QVBoxLayout(preview_);
    over->setContentsMargins(0, 0, 0, 0);
    area_ = new CMotionArea(preview_);
    over->addWidget(area_);
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
    connect(precision_, &QComboBox::currentIndexChanged, this,
            [this](int i) { area_->step = 8 << std::clamp(i, 0, 2); });
    connect(setup_area_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            show_area_->setChecked(false);
            area_->rects = {};
            area_->next_slot = 0;
            area_set_up_ = true;
        }
        area_->drawing = on;
        area_->update();
    });
    connect(show_area_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) setup_area_->setChecked(false);
        area_->show_grid = on;
        area_->grid = record_.empty() ? nullptr : record_.data();
        area_->update();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        area_->rects = {};
        area_set_up_ = true;
        area_->update();
    });
    connect(all, &QPushButton::clicked, this, [this] {
        area_->rects = {};
        area_->rects[0] = QRect(QPoint(0, 0), QPoint(kColumns * area_->step, kRows * area_->step));
        area_->next_slot = 1;
        area_set_up_ = true;
        area_->update();
    });
    connect(day_list_, &QComboBox::currentIndexChanged, this, [this](int day) {
        if (!record_.empty())
            schedule_->SetPeriods(
                PeriodsFromBytes(record_.data() + kSchedule + kDayBytes * day, kPeriods));
    });
    connect(confirm, &QPushButton::clicked, this, [this] { StoreDay(); });
    connect(copy, &QPushButton::clicked, this, [this] { CopyDay(); });
    connect(save, &QPushButton::clicked, this, [this] { Save(); });
}

void CDlgRemoteMotionDetect::OnPageActivated(quint32, quint32) {
    auto* ants = dynamic_cast<CANTSDevice*>(owner()->device());
    if (ants == nullptr) return;
    if (channel_list_->count() == 0) {
        const QSignalBlocker block(channel_list_);
        for (int c = 0; c < owner()->channel_count(); ++c)
            channel_list_->addItem(QString::number(c + 1));
        for (int o = 0; o < std::min(owner()->alarm_out_count(), kMaxOutputs); ++o)
            new QTreeWidgetItem(outputs_, {TranslateText(QString("AlarmOut%1").arg(o + 1))});
        for (int c = 0; c < std::min(owner()->channel_count(), 32); ++c)
            new QTreeWidgetItem(channels_, {TranslateText(QString("Channel %1").arg(c + 1))});
        for (QTreeWidget* t : {outputs_, channels_})
            for (int i = 0; i < t->topLevelItemCount(); ++i)
                t->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    }
    ants->RealPlay(channel_, static_cast<uintptr_t>(preview_->winId()), 0, 0);
    if (record_.empty()) Load();
}

void CDlgRemoteMotionDetect::Load() {
    auto* ants = dynamic_cast<CANTSDevice*>(owner()->device());
    record_.assign(kRecordBytes, 0);
    area_set_up_ = false;
    area_->rects = {};
    if (ants->GetDVRConfig(kRead, channel_, record_.data(), kRecordBytes, nullptr)) {
        const int v = record_[kSensitivity];
        sensitivity_->setCurrentIndex(v == 255 ? 0 : std::min(v + 1, sensitivity_->count() - 1));
    }
    ShowRecord();
}

void CDlgRemoteMotionDetect::ShowRecord() {
    const int offsets[] = {kShowAlarm, kAudioAlarm, kReportAlarm, kEmailJpeg, kTriggerOutput};
    for (size_t k = 0; k < actions_.size(); ++k) actions_[k]->setChecked(record_[offsets[k]] != 0);
    for (int i = 0; i < outputs_->topLevelItemCount(); ++i)
        outputs_->topLevelItem(i)->setCheckState(
            0, record_[kOutputs + i] ? Qt::Checked : Qt::Unchecked);
    for (int i = 0; i < channels_->topLevelItemCount(); ++i)
        channels_->topLevelItem(i)->setCheckState(
            0, record_[kRecordChannels + i] ? Qt::Checked : Qt::Unchecked);
    schedule_->SetPeriods(PeriodsFromBytes(
        record_.data() + kSchedule + kDayBytes * day_list_->currentIndex(), kPeriods));
    area_->grid = record_.data();
    area_->update();
}

// The shown periods into the cached day, when they pass the check.
bool CDlgRemoteMotionDetect::StoreDay() {
    const std::vector<SchedulePeriod> periods = schedule_->Periods();
    if (const char* error = CheckSchedule(periods)) {
        ShowTips(this, error);
        return false;
    }
    if (!record_.empty())
        PeriodsToBytes(periods, record_.data() + kSchedule + kDayBytes * day_list_->currentIndex());
    return true;
}

void CDlgRemoteMotionDetect::CopyDay() {
    if (record_.empty()) return;
    const int from = day_list_->currentIndex(), to = day_copy_list_->currentIndex() - 1;
    const uint8_t* src = record_.data() + kSchedule + kDayBytes * from;
    for (int d = 0; d < kDays; ++d)
        if (d != from && (to < 0 || to == d))
            std::memmove(record_.data() + kSchedule + kDayBytes * d, src, kDayBytes);
}

void CDlgRemoteMotionDetect::Save() {
    auto* ants = dynamic_cast<CANTSDevice*>(owner()->device());
    if (ants == nullptr || record_.empty()) {
        ShowTips(this, "Set failed");
        return;
    }
    if (!StoreDay()) return;
    if (area_set_up_) MarkGrid(area_->rects, area_->step, record_.data());
    const int sensitivity = sensitivity_->currentIndex();
    record_[kSensitivity] = static_cast<uint8_t>(sensitivity == 0 ? 255 : sensitivity - 1);
    const int offsets[] = {kShowAlarm, kAudioAlarm, kReportAlarm, kEmailJpeg, kTriggerOutput};
    for (size_t k = 0; k < actions_.size(); ++k) record_[offsets[k]] = actions_[k]->isChecked();
    for (int i = 0; i < outputs_->topLevelItemCount(); ++i)
        record_[kOutputs + i] = outputs_->topLevelItem(i)->checkState(0) == Qt::Checked;
    for (int i = 0; i < channels_->topLevelItemCount(); ++i)
        record_[kRecordChannels + i] = channels_->topLevelItem(i)->checkState(0) == Qt::Checked;
    const bool ok = ants->SetDVRConfig(kWrite, channel_, record_.data(), kRecordBytes) != 0;
    ShowTips(this, ok ? "Set success" : "Set failed");
    area_->update();
}

void CDlgRemoteMotionDetect::ChangeChannel(int channel) {
    if (channel < 0 || channel == channel_) return;
    if (CDevice* device = owner()->device()) device->StopRealPlay(channel_);
    channel_ = channel;
    record_.clear();
    setup_area_->setChecked(false);
    OnPageActivated(0, 0);
}

}  // namespace configctrl
