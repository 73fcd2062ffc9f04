#include "configctrl/window/pages/sub_dlg_alarm_cfg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_widgets.h"
#include "configctrl/window/pages/dlg_remote_alarm_in_handle.h"
#include "configctrl/window/schedule_editor.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {

QString RecordText(const std::vector<uint8_t>& rec, int offset, int width) {
    const char* p = reinterpret_cast<const char*>(rec.data() + offset);
    return QString::fromLocal8Bit(p, static_cast<int>(strnlen(p, static_cast<size_t>(width))));
}

// Bounded copy into a text field; the last byte stays NUL.
void PutRecordText(std::vector<uint8_t>& rec, int offset, int width, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::memset(rec.data() + offset, 0, static_cast<size_t>(width));
    std::memcpy(rec.data() + offset, bytes.constData(),
                static_cast<size_t>(std::min<qsizetype>(bytes.size(), width - 1)));
}

// Changes a byte range of a record; marks it dirty when anything differs.
void Change(CSubDlgAlarmCfg::Record& rec, int offset, const std::vector<uint8_t>& bytes) {
    if (std::equal(bytes.begin(), bytes.end(), rec.bytes.begin() + offset)) return;
    std::copy(bytes.begin(), bytes.end(), rec.bytes.begin() + offset);
    rec.dirty = true;
}

std::vector<uint8_t> TextBytes(int width, const QString& text) {
    std::vector<uint8_t> field(static_cast<size_t>(width), 0);
    PutRecordText(field, 0, width, text);
    return field;
}

std::vector<uint8_t> U32Bytes(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

}  // namespace

CSubDlgAlarmCfg::CSubDlgAlarmCfg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    auto* page = new QVBoxLayout(this);

    // Alarm inputs.
    auto* in_box = new QGroupBox(Tr("Alarm Input"), this);
    auto* in = new QGridLayout(in_box);
    input_list_ = MakeCombo(in_box, 553);
    input_name_ = MakeEdit(in_box, 569);
    input_name_->setMaxLength(kNameBytes - 1);
    auto* confirm_name = MakeButton(in_box, 570, "Confirm");
    contact_list_ = MakeCombo(in_box, 554, {"normally open", "normal close"});
    handling_ = MakeCheck(in_box, 555, "Alarm Input Setup");
    handling_setup_ = MakeButton(in_box, 556, "Setup");
    ptz_ = MakeButton(in_box, 557, "Trigger PTZ");
    input_copy_list_ = MakeCombo(in_box, 558);
    copy_input_ = MakeButton(in_box, 559, "Copy");
    in->addWidget(MakeLabel(in_box, "Alarm Input"), 0, 0);
    in->addWidget(input_list_, 0, 1);
    in->addWidget(MakeLabel(in_box, "Input Name"), 0, 2);
    in->addWidget(input_name_, 0, 3);
    in->addWidget(confirm_name, 0, 4);
    in->addWidget(MakeLabel(in_box, "Alarm Model"), 1, 0);
    in->addWidget(contact_list_, 1, 1);
    in->addWidget(handling_, 1, 2);
    in->addWidget(handling_setup_, 1, 3, Qt::AlignLeft);
    in->addWidget(ptz_, 1, 4);
    in->addWidget(MakeLabel(in_box, "Copy to Alarm Input"), 2, 0);
    in->addWidget(input_copy_list_, 2, 1);
    in->addWidget(copy_input_, 2, 2, Qt::AlignLeft);
    in->setColumnStretch(3, 1);
    page->addWidget(in_box);

    // Alarm outputs and their schedule.
    auto* out_box = new QGroupBox(Tr("Alarm Output"), this);
    auto* out = new QGridLayout(out_box);
    output_list_ = MakeCombo(out_box, 560);
    output_name_ = MakeEdit(out_box, 611);
    output_name_->setMaxLength(kNameBytes - 1);
    hold_list_ = MakeCombo(out_box, 561,
                           {"5 Sec", "10 Sec", "30 Sec", "1 Min", "5 Min", "10 Min", "manual"});
    auto* confirm_output = MakeButton(out_box, 565, "Confirm");
    output_copy_list_ = MakeCombo(out_box, 566);
    copy_output_ = MakeButton(out_box, 567, "Copy");
    day_list_ = MakeCombo(out_box, 562, {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"});
    day_copy_list_ =
        MakeCombo(out_box, 563, {"All week", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"});
    copy_day_ = MakeButton(out_box, 564, "Copy");
    copy_day_->setEnabled(false);
    schedule_ = new CScheduleEditor(kPeriods, 571, out_box);
    auto* confirm_day = MakeButton(out_box, 568, "Confirm Date Setup");
    state_ = MakeEdit(out_box, 613);
    state_->setReadOnly(true);
    int row = 0;
    auto add_row = [&](const char* label, QWidget* field, QWidget* button = nullptr) {
        out->addWidget(MakeLabel(out_box, label), row, 0);
        out->addWidget(field, row, 1);
        if (button) out->addWidget(button, row, 2);
        ++row;
    };
    add_row("Alarm Output", output_list_);
    add_row("Alarm Output Name", output_name_);
    add_row("Alarm Output Delay", hold_list_, confirm_output);
    add_row("Copy to Alarm Output", output_copy_list_, copy_output_);
    add_row("Date", day_list_);
    add_row("Copy to", day_copy_list_, copy_day_);
    auto* state_label = MakeLabel(out_box, "Setup State");
    state_label->setObjectName("ctl612");
    out->addWidget(state_label, row, 0);
    out->addWidget(state_, row, 1, 1, 2);
    out->setRowStretch(row + 1, 1);
    out->addWidget(schedule_, 0, 3, 8, 1, Qt::AlignTop);
    out->addWidget(confirm_day, 8, 3, Qt::AlignRight);
    out->setColumnMinimumWidth(2, 0);
    out->setHorizontalSpacing(8);
    page->addWidget(out_box);

    auto* save = MakeButton(this, 367, "save");
    page->addWidget(save, 0, Qt::AlignRight);
    page->addStretch(1);

    connect(input_list_, &QComboBox::currentIndexChanged, this, [this](int i) {
        StoreInput();
        ShowInput(i);
    });
    connect(handling_, &QCheckBox::toggled, handling_setup_, &QWidget::setEnabled);
    connect(handling_setup_, &QPushButton::clicked, this,
            [this] { OpenHandling(CDlgRemoteAlarmInHandle::Section::kHandling); });
    connect(ptz_, &QPushButton::clicked, this,
            [this] { OpenHandling(CDlgRemoteAlarmInHandle::Section::kPtz); });
    connect(confirm_name, &QPushButton::clicked, this, [this] { StoreInput(); });
    connect(copy_input_, &QPushButton::clicked, this, [this] { CopyInput(); });
    connect(output_list_, &QComboBox::currentIndexChanged, this, [this](int i) {
        StoreOutput();
        ShowOutput(i);
    });
    connect(confirm_output, &QPushButton::clicked, this, [this] { StoreOutput(); });
    connect(copy_output_, &QPushButton::clicked, this, [this] { CopyOutput(); });
    connect(day_list_, &QComboBox::currentIndexChanged, this, [this] { ShowDay(); });
    connect(confirm_day, &QPushButton::clicked, this, [this] { ConfirmDay(); });
    connect(copy_day_, &QPushButton::clicked, this, [this] { CopyDay(); });
    connect(save, &QPushButton::clicked, this, [this] { Save(); });
    handling_setup_->setEnabled(false);
}

void CSubDlgAlarmCfg::OnPageActivated(quint32, quint32) {
    if (!loaded_) Load();
}

void CSubDlgAlarmCfg::Load() {
    auto* ants = dynamic_cast<CANTSDevice*>(owner()->device());
    if (ants == nullptr) return;
    loaded_ = true;
    const int in_count = std::clamp(owner()->alarm_in_count(), 0, kMaxInputs);
    const int out_count = std::clamp(owner()->alarm_out_count(), 0, kMaxOutputs);
    const QSignalBlocker b1(input_list_), b2(output_list_);
    input_list_->clear();
    output_list_->clear();
    input_copy_list_->clear();
    output_copy_list_->clear();
    input_copy_list_->addItem(Tr("All AlarmIn"), -1);
    output_copy_list_->addItem(Tr("All AlarmOut"), -1);
    inputs_.assign(static_cast<size_t>(in_count), {std::vector<uint8_t>(kInputBytes, 0), false});
    outputs_.assign(static_cast<size_t>(out_count), {std::vector<uint8_t>(kOutputBytes, 0), false});
    for (int j = 0; j < in_count; ++j) {
        if (!ants->GetDVRConfig(kReadInput, j, inputs_[j].bytes.data(), kInputBytes, nullptr))
            ShowTips(this, "Alarm input parameters to get the failure");
        const QString name = TranslateText(QString("AlarmIn%1").arg(j + 1));
        input_list_->addItem(name, j);
        input_copy_list_->addItem(name, j);
    }
    for (int i = 0; i < out_count; ++i) {
        if (!ants->GetDVRConfig(kReadOutput, i, outputs_[i].bytes.data(), kOutputBytes, nullptr))
            ShowTips(this, "Alarm output parameters to get the failure");
        const QString name = TranslateText(QString("AlarmOut%1").arg(i + 1));
        output_list_->addItem(name, i);
        output_copy_list_->addItem(name, i);
    }
    input_list_->setCurrentIndex(in_count > 0 ? 0 : -1);
    output_list_->setCurrentIndex(out_count > 0 ? 0 : -1);
    ShowInput(input_list_->currentIndex());
    ShowOutput(output_list_->currentIndex());
}

void CSubDlgAlarmCfg::ShowInput(int index) {
    shown_input_ = index;
    if (index < 0 || index >= static_cast<int>(inputs_.size())) return;
    const std::vector<uint8_t>& rec = inputs_[index].bytes;
    input_name_->setText(RecordText(rec, kInputName, kNameBytes));
    contact_list_->setCurrentIndex(rec[kContactType] == 1 ? 1 : 0);
    handling_->setChecked(rec[kHandling] != 0);
    handling_setup_->setEnabled(rec[kHandling] != 0);
}

// The input controls into the shown input's record.
void CSubDlgAlarmCfg::StoreInput() {
    if (shown_input_ < 0 || shown_input_ >= static_cast<int>(inputs_.size())) return;
    Record& rec = inputs_[shown_input_];
    Change(rec, kInputName, TextBytes(kNameBytes, input_name_->text()));
    Change(rec, kContactType,
           {static_cast<uint8_t>(contact_list_->currentIndex() == 1),
            static_cast<uint8_t>(handling_->isChecked())});
}

// Contact type and handling of the shown input to the chosen inputs.
void CSubDlgAlarmCfg::CopyInput() {
    StoreInput();
    if (shown_input_ < 0) return;
    const int target = input_copy_list_->currentData().toInt();
    const std::vector<uint8_t> fields(inputs_[shown_input_].bytes.begin() + kContactType,
                                      inputs_[shown_input_].bytes.begin() + kHandling + 1);
    for (int j = 0; j < static_cast<int>(inputs_.size()); ++j)
        if (j != shown_input_ && (target < 0 || target == j))
            Change(inputs_[j], kContactType, fields);
}

// The handling or PTZ dialog of the shown input; its "OK" changes the
// cached record (saved with the others on "save").
void CSubDlgAlarmCfg::OpenHandling(CDlgRemoteAlarmInHandle::Section section) {
    if (handle_dialog_ || shown_input_ < 0 || shown_input_ >= static_cast<int>(inputs_.size()))
        return;
    const int input = shown_input_;
    using D = CDlgRemoteAlarmInHandle;
    handle_dialog_ = new D(
        section, inputs_[input].bytes, owner()->alarm_out_count(), owner()->channel_count(),
        [this, input](const std::vector<uint8_t>& record) {
            if (input >= static_cast<int>(inputs_.size())) return;
            Change(
                inputs_[input], D::kFirstByte,
                std::vector<uint8_t>(record.begin() + D::kFirstByte, record.begin() + D::kEndByte));
        },
        this);
    handle_dialog_->setAttribute(Qt::WA_DeleteOnClose);
    handle_dialog_->setWindowModality(Qt::WindowModal);
    handle_dialog_->open();
}

void CSubDlgAlarmCfg::ShowOutput(int index) {
    shown_output_ = index;
    if (index < 0 || index >= static_cast<int>(outputs_.size())) return;
    const std::vector<uint8_t>& rec = outputs_[index].bytes;
    output_name_->setText(RecordText(rec, kOutputName, kNameBytes));
    const int hold = rec[kHoldTime];
    hold_list_->setCurrentIndex(hold < hold_list_->count() ? hold : 0);
    ShowDay();
}

void CSubDlgAlarmCfg::StoreOutput() {
    if (shown_output_ < 0 || shown_output_ >= static_cast<int>(outputs_.size())) return;
    Record& rec = outputs_[shown_output_];
    Change(rec, kOutputName, TextBytes(kNameBytes, output_name_->text()));
    Change(rec, kHoldTime, U32Bytes(static_cast<uint32_t>(hold_list_->currentIndex())));
}

void CSubDlgAlarmCfg::ShowDay() {
    if (shown_output_ < 0 || shown_output_ >= static_cast<int>(outputs_.size())) return;
    const int day = day_list_->currentIndex();
    schedule_->SetPeriods(PeriodsFromBytes(
        outputs_[shown_output_].bytes.data() + kSchedule + kDayBytes * day, kPeriods));
}

void CSubDlgAlarmCfg::ConfirmDay() {
    const std::vector<SchedulePeriod> periods = schedule_->Periods();
    if (const char* error = CheckSchedule(periods)) {
        SetState(error);
        ShowTips(this, error);
        return;
    }
    if (shown_output_ < 0 || shown_output_ >= static_cast<int>(outputs_.size())) return;
    std::vector<uint8_t> day(kDayBytes);
    PeriodsToBytes(periods, day.data());
    Change(outputs_[shown_output_], kSchedule + kDayBytes * day_list_->currentIndex(), day);
    copy_day_->setEnabled(true);
    SetState(nullptr);
}

// The stored day chosen in "Date" to the day in "Copy to", or to every
// other day of the week.
void CSubDlgAlarmCfg::CopyDay() {
    if (shown_output_ < 0 || shown_output_ >= static_cast<int>(outputs_.size())) return;
    Record& rec = outputs_[shown_output_];
    const int from = day_list_->currentIndex();
    const int to = day_copy_list_->currentIndex() - 1;  // -1: all week
    const auto first = rec.bytes.begin() + kSchedule + kDayBytes * from;
    const std::vector<uint8_t> day(first, first + kDayBytes);
    for (int d = 0; d < kDays; ++d)
        if (d != from && (to < 0 || to == d)) Change(rec, kSchedule + kDayBytes * d, day);
}

// Hold time and the whole week of the shown output to the chosen outputs.
void CSubDlgAlarmCfg::CopyOutput() {
    StoreOutput();
    if (shown_output_ < 0) return;
    const int target = output_copy_list_->currentData().toInt();
    const std::vector<uint8_t>& src = outputs_[shown_output_].bytes;
    const std::vector<uint8_t> hold(src.begin() + kHoldTime, src.begin() + kHoldTime + 4);
    const std::vector<uint8_t> week(src.begin() + kSchedule,
                                    src.begin() + kSchedule + kDays * kDayBytes);
    for (int i = 0; i < static_cast<int>(outputs_.size()); ++i) {
        if (i == shown_output_ || (target >= 0 && target != i)) continue;
        Change(outputs_[i], kHoldTime, hold);
        Change(outputs_[i], kSchedule, week);
    }
}

void CSubDlgAlarmCfg::Save() {
    auto* ants = dynamic_cast<CANTSDevice*>(owner()->device());
    if (ants == nullptr) {
        ShowTips(this, "Set failed");
        return;
    }
    StoreInput();
    StoreOutput();
    bool failed = false;
    auto write = [&](std::vector<Record>& records, int command, int bytes) {
        for (size_t k = 0; k < records.size(); ++k) {
            if (!records[k].dirty) continue;
            if (ants->SetDVRConfig(command, static_cast<int>(k), records[k].bytes.data(), bytes))
                records[k].dirty = false;
            else
                failed = true;
        }
    };
    write(inputs_, kWriteInput, kInputBytes);
    write(outputs_, kWriteOutput, kOutputBytes);
    const char* result = failed ? "parameter save failed" : "Set success";
    SetState(result);
    ShowTips(this, result);
}

void CSubDlgAlarmCfg::SetState(const char* english) {
    state_->setText(english ? Tr(english) : QString());
}

}  // namespace configctrl
