// The page "sensor alarm" of LangChi devices (dialog 217): a global enable
// and, per sensor, seven schedule rows (day mode and times), the channels
// whose recording it triggers, the alarm outputs it switches and a preset
// call per channel. One 1092-byte record for all sensors, read once and
// written by "OK"; the shown sensor's controls go into the cached record
// whenever another sensor is picked and on save.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "configctrl/window/dialog_ex.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace configctrl {

class CSensorParamDialog : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 217;
    static constexpr int kRecordBytes = 1092, kRead = 10, kWrite = 11;
    static constexpr int kSensorBytes = 136, kMaxSensors = 8, kRows = 7;
    static constexpr int kRecordFlags = 12, kOutputFlags = 28, kPresetFlags = 36,
                         kPresetNumbers = 52, kSchedule = 84, kPresetChannels = 16;

    explicit CSensorParamDialog(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    const std::vector<uint8_t>& record() const { return record_; }

private:
    void StoreSensor();
    void ShowSensor(int sensor);
    void PickPresetChannel(int channel);
    void Save();
    uint8_t* Sensor(int s) { return record_.data() + kSensorBytes * s; }

    std::vector<uint8_t> record_;  // empty until the first activation
    int shown_sensor_ = 0;
    int preset_channel_ = -1;  // none picked since the sensor was shown

    QCheckBox* enable_;
    QComboBox* sensor_list_;
    std::array<QComboBox*, kRows> modes_{};
    std::array<std::array<QLineEdit*, 4>, kRows> times_{};
    std::array<QCheckBox*, 4> record_checks_{}, output_checks_{};
    QComboBox* preset_list_;
    QCheckBox* call_preset_;
    QLineEdit* preset_number_;
};

}  // namespace configctrl
