// The page "sensor alarm" of LangChi devices (dialog 217): a global enable
// and, per sensor, seven schedule rows (day mode and times), the channels
// whose recording it triggers, the alarm outputs it switches and a preset
// call per channel. One 1092-byte record for all sensors, read once and
// written by "OK"; the shown sensor's controls go into the cached record
// whenever another sensor is picked and on save.
//
// Own-protocol devices keep one sensor record per alarm input (fields by
// name from zynvs/wire/param_fields.h). For them the seven rows are the
// days from Monday, each with the record's two time windows; the check box
// enables the shown sensor; "Trigger output" 1 is its alarm output; the
// preset call is one preset of the sensor's own channel; contact type,
// snapshot and hold time have controls of their own. Each sensor record is
// read the first time its sensor is shown; the shown sensor's controls are
// checked (the schedule with the alarm schedule rules) before another sensor
// is shown or anything is written; "OK" writes every sensor record read and
// reports "Set success" or "Set failed".
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
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

    // Own protocol: the second window's edits of a row (start hour, start
    // minute, end hour, end minute), the contact, snapshot and hold controls.
    QLineEdit* second_window(int row, int field) const { return second_[row][field]; }
    QComboBox* contact_list() const { return contact_; }
    QCheckBox* capture_check() const { return capture_; }
    QLineEdit* hold_edit() const { return hold_; }

private:
    void StoreSensor();
    void ShowSensor(int sensor);
    void PickPresetChannel(int channel);
    void Save();
    uint8_t* Sensor(int s) { return record_.data() + kSensorBytes * s; }

    bool own_protocol() const;
    void AddZynControls(QGridLayout* rows, QGridLayout* links);
    // The shown sensor's controls into its record; a translated message
    // (and the record unchanged) when a value is not one the device takes.
    QString StoreZynSensor();
    void ShowZynSensor(int sensor);
    void SaveZyn();

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

    // Own protocol.
    std::map<int, PageRecord> zyn_sensors_;  // records shown so far, by sensor
    std::array<std::array<QLineEdit*, 4>, kRows> second_{};
    QComboBox* contact_ = nullptr;
    QCheckBox* capture_ = nullptr;
    QLineEdit* hold_ = nullptr;
};

}  // namespace configctrl
