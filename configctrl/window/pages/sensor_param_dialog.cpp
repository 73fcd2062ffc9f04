#include "configctrl/window/pages/sensor_param_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_widgets.h"
#include "configctrl/window/pages/zyn_group_io.h"
#include "configctrl/window/schedule_editor.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {

// Own protocol.
using zyn::wire::ParamGroup;
// Row r shows the day of mode entry r; the record's weeks start on Sunday.
constexpr const char* kWeekKeys[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
const zyn::wire::ParamField& DayWindow(int row, int window) {
    const std::string name = std::string(kWeekKeys[(row + 1) % 7]) + (window ? "2" : "1");
    return *zyn::wire::FindField(ParamGroup::kSensor, name);
}
}  // namespace

CSensorParamDialog::CSensorParamDialog(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    const int channels = owner ? owner->channel_count() : 0;
    const int inputs = owner ? std::min(owner->alarm_in_count(), kMaxSensors) : 0;
    const int outputs = owner ? owner->alarm_out_count() : 0;
    auto* page = new QGridLayout(this);

    enable_ = MakeCheck(this, 494, "Start alarm detection:");
    sensor_list_ = MakeCombo(this, 493);
    for (int s = 0; s < inputs; ++s) sensor_list_->addItem(QString::number(s + 1));
    sensor_list_->setEnabled(inputs > 1);
    auto* head = new QHBoxLayout;
    head->addWidget(enable_);
    head->addSpacing(24);
    head->addWidget(MakeLabel(this, "Select sensor:"));
    head->addWidget(sensor_list_);
    head->addStretch(1);
    page->addLayout(head, 0, 0, 1, 2);

    auto* rows = new QGroupBox(this);
    auto* grid = new QGridLayout(rows);
    MakeDayRows(rows, grid, 1, modes_, times_);
    grid->setColumnStretch(8, 1);
    page->addWidget(rows, 1, 0, 1, 2);

    QGroupBox* links = MakeTriggerChecks(this, channels, outputs, record_checks_, output_checks_);
    page->addWidget(links, 2, 0, 1, 2);

    auto* preset = new QGroupBox(Tr("Preset point linkage"), this);
    auto* p = new QHBoxLayout(preset);
    preset_list_ = MakeCombo(preset, 538);
    for (int c = 0; c < std::min(channels, kPresetChannels); ++c)
        preset_list_->addItem(QString::number(c + 1));
    preset_list_->setEnabled(channels > 1);
    call_preset_ = MakeCheck(preset, 539, "Call presets");
    preset_number_ = MakeEdit(preset, 540);
    preset_number_->setValidator(new QIntValidator(0, 255, preset_number_));
    p->addWidget(preset_list_);
    p->addWidget(call_preset_);
    p->addWidget(preset_number_);
    p->addStretch(1);
    page->addWidget(preset, 3, 0, 1, 2);

    if (own_protocol()) AddZynControls(grid, qobject_cast<QGridLayout*>(links->layout()));

    auto* ok = MakeButton(this, 541, "OK");
    page->addWidget(ok, 4, 1, Qt::AlignRight);
    page->setRowStretch(5, 1);

    connect(sensor_list_, &QComboBox::currentIndexChanged, this, [this](int s) {
        if (!own_protocol()) {
            StoreSensor();
            ShowSensor(s);
            return;
        }
        if (s == shown_sensor_) return;
        if (const QString bad = StoreZynSensor(); !bad.isEmpty()) {
            CRHYesNoToAllDialog::TellText(this, bad);
            const QSignalBlocker keep(sensor_list_);  // stay on the sensor to mend
            sensor_list_->setCurrentIndex(shown_sensor_);
            return;
        }
        ShowZynSensor(s);
    });
    connect(preset_list_, &QComboBox::activated, this, [this](int c) { PickPresetChannel(c); });
    connect(ok, &QPushButton::clicked, this, [this] { Save(); });
}

bool CSensorParamDialog::own_protocol() const {
    return owner() != nullptr && owner()->device_type() == kDeviceTypeZyn;
}

void CSensorParamDialog::OnPageActivated(quint32, quint32) {
    if (own_protocol()) {
        if (zyn_sensors_.empty()) ShowZynSensor(sensor_list_->currentIndex());
        return;
    }
    if (!record_.empty()) return;
    record_.assign(kRecordBytes, 0);
    auto* langchi = dynamic_cast<CLangChiDevice*>(owner()->device());
    if (langchi == nullptr ||
        !langchi->LangChiConfig(0, kRead, 0, reinterpret_cast<intptr_t>(record_.data()),
                                kRecordBytes, 0))
        return;  // the controls keep their initial values
    enable_->setChecked(record_[0] | record_[1] | record_[2] | record_[3]);
    ShowSensor(sensor_list_->currentIndex());
}

// The shown sensor's controls into the cached record.
void CSensorParamDialog::StoreSensor() {
    if (record_.empty() || shown_sensor_ < 0 || shown_sensor_ >= kMaxSensors) return;
    uint8_t* s = Sensor(shown_sensor_);
    StoreDayRows(s + kSchedule, modes_, times_);
    StoreFlags(s + kRecordFlags, record_checks_);
    StoreFlags(s + kOutputFlags, output_checks_);
    if (preset_channel_ >= 0) {
        s[kPresetFlags + preset_channel_] = call_preset_->isChecked();
        s[kPresetNumbers + preset_channel_] = static_cast<uint8_t>(preset_number_->text().toInt());
    }
}

void CSensorParamDialog::ShowSensor(int sensor) {
    shown_sensor_ = sensor;
    preset_channel_ = -1;
    preset_list_->setCurrentIndex(preset_list_->count() > 0 ? 0 : -1);
    call_preset_->setChecked(false);
    preset_number_->clear();
    if (record_.empty() || sensor < 0 || sensor >= kMaxSensors) return;
    const uint8_t* s = Sensor(sensor);
    ShowDayRows(s + kSchedule, modes_, times_);
    ShowFlags(s + kRecordFlags, record_checks_);
    ShowFlags(s + kOutputFlags, output_checks_);
}

// The user picked a channel for the preset call: keep what the previous
// channel showed, then show this channel's.
void CSensorParamDialog::PickPresetChannel(int channel) {
    StoreSensor();
    preset_channel_ = channel;
    if (record_.empty() || channel < 0 || shown_sensor_ < 0) return;
    const uint8_t* s = Sensor(shown_sensor_);
    call_preset_->setChecked(s[kPresetFlags + channel] != 0);
    preset_number_->setText(QString::number(s[kPresetNumbers + channel]));
}

void CSensorParamDialog::Save() {
    if (own_protocol()) {
        SaveZyn();
        return;
    }
    if (record_.empty()) record_.assign(kRecordBytes, 0);
    StoreSensor();
    const uint32_t enable = enable_->isChecked() ? 1 : 0;
    for (int i = 0; i < 4; ++i) record_[i] = static_cast<uint8_t>(enable >> (8 * i));
    if (auto* langchi = dynamic_cast<CLangChiDevice*>(owner()->device()))
        langchi->LangChiConfig(0, kWrite, 0, reinterpret_cast<intptr_t>(record_.data()),
                               kRecordBytes, 0);
}

// Own protocol: each row is a day with two windows; one alarm output; the
// preset belongs to the sensor's own channel.
void CSensorParamDialog::AddZynControls(QGridLayout* rows, QGridLayout* links) {
    for (int r = 0; r < kRows; ++r) {
        modes_[r]->setCurrentIndex(r);
        modes_[r]->setEnabled(false);
        for (int f = 0; f < 4; ++f) {
            auto* e = MakeTimeEdit(rows->parentWidget(), -1);
            e->setObjectName(QString("window2_row%1_%2").arg(r).arg(f));
            second_[r][f] = e;
            rows->addWidget(e, r, 9 + 2 * f);
            if (f < 3)
                rows->addWidget(new QLabel(f == 1 ? "-" : ":", rows->parentWidget()), r,
                                10 + 2 * f);
        }
    }
    rows->setColumnStretch(8, 0);
    rows->setColumnMinimumWidth(8, 24);
    rows->setColumnStretch(16, 1);
    for (int k = 1; k < 4; ++k) output_checks_[k]->setVisible(false);
    preset_list_->setEnabled(false);

    QWidget* box = links->parentWidget();
    contact_ = new QComboBox(box);
    contact_->setObjectName("contact");
    contact_->addItems({Tr("Normally open"), Tr("Normally closed")});
    capture_ = new QCheckBox(Tr("Snapshot"), box);
    capture_->setObjectName("capture");
    hold_ = new QLineEdit(box);
    hold_->setObjectName("hold");
    hold_->setValidator(new QIntValidator(0, 3600, hold_));
    hold_->setMaximumWidth(80);
    auto* more = new QHBoxLayout;
    more->addWidget(MakeLabel(box, "Contact type:"));
    more->addWidget(contact_);
    more->addSpacing(16);
    more->addWidget(capture_);
    more->addSpacing(16);
    more->addWidget(MakeLabel(box, "Alarm hold time (s):"));
    more->addWidget(hold_);
    more->addStretch(1);
    links->addLayout(more, 2, 0, 1, 6);
}

void CSensorParamDialog::ShowZynSensor(int sensor) {
    shown_sensor_ = sensor;
    if (sensor < 0) return;
    auto it = zyn_sensors_.find(sensor);
    if (it == zyn_sensors_.end()) {
        // A failed read shows an empty record; a save writes what the controls hold.
        ZynRecord r(zyn::wire::GroupInfo(ParamGroup::kSensor).record_bytes);
        ZynRead(ZynOf(this), ParamGroup::kSensor, sensor, r);
        it = zyn_sensors_.emplace(sensor, std::move(r)).first;
    }
    const ZynRecord& r = it->second;
    auto value = [&](const char* name) { return ZynValue(r, ZynField(ParamGroup::kSensor, name)); };
    enable_->setChecked(value("enabled") != 0);
    for (int row = 0; row < kRows; ++row) {
        for (int w = 0; w < 2; ++w) {
            const uint8_t* span = r.data() + DayWindow(row, w).offset;
            const int start = zyn::wire::LoadLe16(span), end = zyn::wire::LoadLe16(span + 2);
            const int parts[4] = {start / 60, start % 60, end / 60, end % 60};
            for (int f = 0; f < 4; ++f)
                (w ? second_ : times_)[row][f]->setText(QString::asprintf("%02d", parts[f]));
        }
    }
    const int64_t channels = value("record") ? value("record_channels") : 0;
    for (int k = 0; k < 4; ++k) record_checks_[k]->setChecked((channels >> k) & 1);
    output_checks_[0]->setChecked(value("alarm_out") != 0);
    preset_list_->setCurrentIndex(sensor < preset_list_->count() ? sensor : -1);
    const int64_t preset = value("preset");
    call_preset_->setChecked(preset != 0);
    preset_number_->setText(preset ? QString::number(preset) : QString());
    contact_->setCurrentIndex(value("contact") ? 1 : 0);
    capture_->setChecked(value("capture") != 0);
    hold_->setText(QString::number(value("hold")));
}

QString CSensorParamDialog::StoreZynSensor() {
    auto it = zyn_sensors_.find(shown_sensor_);
    if (it == zyn_sensors_.end()) return {};
    ZynRecord r = it->second;  // kept only when every value passes
    auto set = [&](const char* name, int64_t v) {
        zyn::wire::SetFieldValue(r.data(), ZynField(ParamGroup::kSensor, name), v);
    };
    set("enabled", enable_->isChecked());
    for (int row = 0; row < kRows; ++row) {
        std::vector<SchedulePeriod> periods;
        for (int w = 0; w < 2; ++w) {
            const auto& e = w ? second_[row] : times_[row];
            periods.push_back({e[0]->text().toInt(), e[1]->text().toInt(), e[2]->text().toInt(),
                               e[3]->text().toInt()});
        }
        const QString day_text = TranslateText(DayModeTexts()[row]);
        if (const char* rule = CheckSchedule(periods)) return day_text + ": " + Tr(rule);
        for (int w = 0; w < 2; ++w) {
            const SchedulePeriod& p = periods[w];
            const QString text = QString::asprintf("%02d:%02d-%02d:%02d", p.start_hour,
                                                   p.start_minute, p.stop_hour, p.stop_minute);
            if (QString bad = ZynParse(r, DayWindow(row, w), text, "time"); !bad.isEmpty())
                return day_text + " " + bad;
        }
    }
    int mask = 0;
    for (int k = 0; k < 4; ++k)
        if (record_checks_[k]->isVisibleTo(this) && record_checks_[k]->isChecked()) mask |= 1 << k;
    set("record", mask != 0);
    set("record_channels", mask);
    set("alarm_out", output_checks_[0]->isChecked());
    if (call_preset_->isChecked()) {
        const int preset = preset_number_->text().toInt();
        if (preset < 1 || preset > 255) return Tr("Call presets") + ": 1..255";
        set("preset", preset);
    } else {
        set("preset", 0);
    }
    set("contact", contact_->currentIndex() == 1 ? 1 : 0);
    set("capture", capture_->isChecked());
    if (QString bad = ZynParse(r, ZynField(ParamGroup::kSensor, "hold"), hold_->text(),
                               "Alarm hold time (s)");
        !bad.isEmpty())
        return bad;
    it->second = std::move(r);
    return {};
}

void CSensorParamDialog::SaveZyn() {
    if (const QString bad = StoreZynSensor(); !bad.isEmpty()) {
        CRHYesNoToAllDialog::TellText(this, bad);
        return;
    }
    CZynDevice* device = ZynOf(this);
    bool ok = device != nullptr && !zyn_sensors_.empty();
    for (auto& [sensor, record] : zyn_sensors_)
        ok = ZynWrite(device, ParamGroup::kSensor, sensor, record) && ok;
    ShowTips(this, ok ? "Set success" : "Set failed");
}

}  // namespace configctrl
