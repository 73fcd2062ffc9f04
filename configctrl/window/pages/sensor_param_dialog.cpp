#include "configctrl/window/pages/sensor_param_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_widgets.h"

namespace configctrl {

namespace {
const QStringList kDayModes = {"Mon", "Tue",        "Wed",        "Thu",      "Fri",  "Sat",
                               "Sun", "Mon To Fri", "Sat To Sun", "Everyday", "close"};
constexpr int kClose = 10;
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
    auto* validator = new QIntValidator(0, 99, this);
    for (int r = 0; r < kRows; ++r) {
        modes_[r] = MakeCombo(rows, 495 + r, kDayModes);
        modes_[r]->setCurrentIndex(kClose);
        grid->addWidget(modes_[r], r, 0);
        for (int f = 0; f < 4; ++f) {
            QLineEdit* e = MakeEdit(rows, 502 + 7 * f + r);
            e->setValidator(validator);
            e->setMaxLength(2);
            e->setFixedWidth(e->fontMetrics().horizontalAdvance("000") + 12);
            times_[r][f] = e;
            grid->addWidget(e, r, 1 + 2 * f);
            if (f < 3) grid->addWidget(new QLabel(f == 1 ? "-" : ":", rows), r, 2 + 2 * f);
        }
    }
    grid->setColumnStretch(8, 1);
    page->addWidget(rows, 1, 0, 1, 2);

    auto* links = new QGroupBox(this);
    auto* l = new QGridLayout(links);
    l->addWidget(MakeLabel(links, "Trigger recording:"), 0, 0);
    l->addWidget(MakeLabel(links, "Trigger output:"), 1, 0);
    for (int k = 0; k < 4; ++k) {
        record_checks_[k] = MakeCheck(links, 530 + k, "");
        record_checks_[k]->setText(QString::number(k + 1));
        record_checks_[k]->setVisible(channels >= 4 || k < channels);
        output_checks_[k] = MakeCheck(links, 534 + k, "");
        output_checks_[k]->setText(QString::number(k + 1));
        output_checks_[k]->setVisible(outputs >= 4 || k < outputs);
        l->addWidget(record_checks_[k], 0, 1 + k);
        l->addWidget(output_checks_[k], 1, 1 + k);
    }
    l->setColumnStretch(5, 1);
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

    auto* ok = MakeButton(this, 541, "OK");
    page->addWidget(ok, 4, 1, Qt::AlignRight);
    page->setRowStretch(5, 1);

    connect(sensor_list_, &QComboBox::currentIndexChanged, this, [this](int s) {
        StoreSensor();
        ShowSensor(s);
    });
    connect(preset_list_, &QComboBox::activated, this, [this](int c) { PickPresetChannel(c); });
    connect(ok, &QPushButton::clicked, this, [this] { Save(); });
}

void CSensorParamDialog::OnPageActivated(quint32, quint32) {
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
    for (int r = 0; r < kRows; ++r) {
        uint8_t* row = s + kSchedule + 8 * r;
        for (int f = 0; f < 4; ++f)
            row[f] = static_cast<uint8_t>(times_[r][f]->text().left(2).toInt());
        row[4] = static_cast<uint8_t>(modes_[r]->currentIndex());
    }
    for (int k = 0; k < 4; ++k) {
        s[kRecordFlags + k] = record_checks_[k]->isChecked();
        s[kOutputFlags + k] = output_checks_[k]->isChecked();
    }
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
    for (int r = 0; r < kRows; ++r) {
        const uint8_t* row = s + kSchedule + 8 * r;
        for (int f = 0; f < 4; ++f) times_[r][f]->setText(QString::asprintf("%02d", row[f]));
        modes_[r]->setCurrentIndex(row[4] <= kClose ? row[4] : kClose);
    }
    for (int k = 0; k < 4; ++k) {
        record_checks_[k]->setChecked(s[kRecordFlags + k] != 0);
        output_checks_[k]->setChecked(s[kOutputFlags + k] != 0);
    }
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
    if (record_.empty()) record_.assign(kRecordBytes, 0);
    StoreSensor();
    const uint32_t enable = enable_->isChecked() ? 1 : 0;
    for (int i = 0; i < 4; ++i) record_[i] = static_cast<uint8_t>(enable >> (8 * i));
    if (auto* langchi = dynamic_cast<CLangChiDevice*>(owner()->device()))
        langchi->LangChiConfig(0, kWrite, 0, reinterpret_cast<intptr_t>(record_.data()),
                               kRecordBytes, 0);
}

}  // namespace configctrl
