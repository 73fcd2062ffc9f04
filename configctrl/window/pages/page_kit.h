// What the device pages share: the cached record (little-endian fields,
// NUL-padded 8-bit texts with bounded copies), the vendor read and write
// paths by device type, and the form widgets named after their control ids
// ("ctl228").
#pragma once

#include "configctrl/window/page_widgets.h"  // MakeButton

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "zynvs/wire/param_groups.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace configctrl {

class CANTSDevice;
class CDevice;
class CLangChiDevice;
class CQVDevice;
class CZynDevice;
class CPageDialog;

// A record buffer that reads as zeros outside its bytes.
class PageRecord {
public:
    PageRecord() = default;
    explicit PageRecord(size_t bytes) : bytes_(bytes, 0) {}
    bool empty() const { return bytes_.empty(); }
    size_t size() const { return bytes_.size(); }
    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    uint8_t& operator[](size_t i) { return bytes_[i]; }

    QString Text(size_t offset, size_t width) const;
    void SetText(size_t offset, size_t width, const QString& text);
    int32_t I32(size_t offset) const;
    void SetI32(size_t offset, int32_t v);
    uint16_t U16(size_t offset) const;
    void SetU16(size_t offset, uint16_t v);

private:
    std::vector<uint8_t> bytes_;
};

// The device of the page's window as the vendor class, or null.
CLangChiDevice* LangChiOf(const CPageDialog* page);
CANTSDevice* AntsOf(const CPageDialog* page);
CQVDevice* QvOf(const CPageDialog* page);
CZynDevice* ZynOf(const CPageDialog* page);  // own protocol: see zyn_group_io.h

// Vendor paths; true on the vendor's success (LangChi/ANTS non-zero, QV 0).
bool LangChiRead(CLangChiDevice* d, int command, PageRecord& r);
bool LangChiWrite(CLangChiDevice* d, int command, PageRecord& r);
bool AntsRead(CANTSDevice* d, int command, PageRecord& r);
bool AntsWrite(CANTSDevice* d, int command, const PageRecord& r);
// QV: the record's first 32-bit field carries its size on reads.
bool QvRead(CQVDevice* d, uint32_t command, PageRecord& r);
bool QvWrite(CQVDevice* d, uint32_t command, const PageRecord& r);

// Form rows: a translated label and a field named "ctl<id>".
QLineEdit* AddEdit(QWidget* page, QFormLayout* form, int id, const char* label,
                   bool password = false);
QCheckBox* AddCheck(QWidget* page, QFormLayout* form, int id, const char* text);
QComboBox* AddCombo(QWidget* page, QFormLayout* form, int id, const char* label,
                    const std::vector<const char*>& items);
// A form for the page's fields with aligned labels; the page's layout
// holds it, then `button` at the right, then a stretch.
QFormLayout* MakePageForm(QWidget* page, QPushButton* button);

QString Num(int v);

// The channels of the page's device: the window's count, or for an
// own-protocol device without one its base record's channel count; at
// least 1 when there is a device, 0 without.
int PageChannelCount(const CPageDialog* page);

// The weekly schedule of the LangChi pages: seven rows, each a day-mode list
// (ids 495..501) and start hour, start minute, end hour and end minute edits
// (ids 502..529, seven per field). Records keep a row in 8 bytes: the four
// times, then the day-mode index.
constexpr int kDayRows = 7;
using DayModeLists = std::array<QComboBox*, kDayRows>;
using DayTimeEdits = std::array<std::array<QLineEdit*, 4>, kDayRows>;
// Makes the rows in `grid` (the layout of `box`): the list in column 0, time
// field f in column first_column + 2f with its separator after it.
void MakeDayRows(QWidget* box, QGridLayout* grid, int first_column, DayModeLists& modes,
                 DayTimeEdits& times);
// Shows the 7 x 8 bytes at `rows` ("%02d"; an unknown mode shows "close").
void ShowDayRows(const uint8_t* rows, const DayModeLists& modes, const DayTimeEdits& times);
// Stores the rows: each edit read as at most two characters.
void StoreDayRows(uint8_t* rows, const DayModeLists& modes, const DayTimeEdits& times);

// The "Trigger recording:" (ids 530..533) and "Trigger output:" (534..537)
// check boxes, numbered 1 to 4; those beyond the device's counts hidden.
using TriggerChecks = std::array<QCheckBox*, 4>;
QGroupBox* MakeTriggerChecks(QWidget* parent, int channels, int outputs, TriggerChecks& record,
                             TriggerChecks& output);
// One flag byte per check box.
void ShowFlags(const uint8_t* flags, const TriggerChecks& checks);
void StoreFlags(uint8_t* flags, const TriggerChecks& checks);

}  // namespace configctrl
