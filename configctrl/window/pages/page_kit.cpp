#include "configctrl/window/pages/page_kit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "zynvs/wire/param_fields.h"

namespace configctrl {

QString PageRecord::Text(size_t offset, size_t width) const {
    if (offset >= bytes_.size()) return {};
    width = std::min(width, bytes_.size() - offset);
    const auto* p = reinterpret_cast<const char*>(bytes_.data() + offset);
    return QString::fromLocal8Bit(p, static_cast<qsizetype>(strnlen(p, width)));
}

void PageRecord::SetText(size_t offset, size_t width, const QString& text) {
    if (offset + width > bytes_.size()) return;
    const QByteArray b = text.toLocal8Bit();
    CopyTextField(reinterpret_cast<char*>(bytes_.data() + offset), width, b.constData());
}

int32_t PageRecord::I32(size_t offset) const {
    if (offset + 4 > bytes_.size()) return 0;
    const uint8_t* p = bytes_.data() + offset;
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void PageRecord::SetI32(size_t offset, int32_t v) {
    if (offset + 4 > bytes_.size()) return;
    for (int i = 0; i < 4; ++i)
        bytes_[offset + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

uint16_t PageRecord::U16(size_t offset) const {
    if (offset + 2 > bytes_.size()) return 0;
    return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

void PageRecord::SetU16(size_t offset, uint16_t v) {
    if (offset + 2 > bytes_.size()) return;
    bytes_[offset] = static_cast<uint8_t>(v);
    bytes_[offset + 1] = static_cast<uint8_t>(v >> 8);
}

namespace {
template <typename T>
T* DeviceAs(const CPageDialog* page, int type) {
    if (!page || !page->owner() || page->owner()->device_type() != type) return nullptr;
    return dynamic_cast<T*>(page->owner()->device());
}
}  // namespace

CLangChiDevice* LangChiOf(const CPageDialog* page) {
    return DeviceAs<CLangChiDevice>(page, kDeviceTypeLangChi);
}
CANTSDevice* AntsOf(const CPageDialog* page) {
    return DeviceAs<CANTSDevice>(page, kDeviceTypeAnts);
}
CQVDevice* QvOf(const CPageDialog* page) {
    return DeviceAs<CQVDevice>(page, kDeviceTypeQv);
}

CZynDevice* ZynOf(const CPageDialog* page) {
    return DeviceAs<CZynDevice>(page, kDeviceTypeZyn);
}

bool LangChiRead(CLangChiDevice* d, int command, PageRecord& r) {
    return d && d->LangChiConfig(0, command, 0, reinterpret_cast<intptr_t>(r.data()),
                                 static_cast<intptr_t>(r.size()), 0) != 0;
}
bool LangChiWrite(CLangChiDevice* d, int command, PageRecord& r) {
    return LangChiRead(d, command, r);  // the same call; the command says which way
}
bool AntsRead(CANTSDevice* d, int command, PageRecord& r) {
    int returned = 0;
    return d && d->GetDVRConfig(command, 0, r.data(), static_cast<int>(r.size()), &returned) != 0;
}
bool AntsWrite(CANTSDevice* d, int command, const PageRecord& r) {
    return d && d->SetDVRConfig(command, 0, r.data(), static_cast<int>(r.size())) != 0;
}
bool QvRead(CQVDevice* d, uint32_t command, PageRecord& r) {
    if (!d) return false;
    r.SetI32(0, static_cast<int32_t>(r.size()));
    int returned = 0;
    return d->GetQVConfig(0, command, 0, r.data(), static_cast<int>(r.size()), &returned) == 0;
}
bool QvWrite(CQVDevice* d, uint32_t command, const PageRecord& r) {
    return d && d->SetQVConfig(0, command, 0, r.data(), static_cast<int>(r.size())) == 0;
}

QLineEdit* AddEdit(QWidget* page, QFormLayout* form, int id, const char* label, bool password) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QString("ctl%1").arg(id));
    if (password) edit->setEchoMode(QLineEdit::Password);
    edit->setMaximumWidth(260);
    form->addRow(Tr(label), edit);
    return edit;
}

QCheckBox* AddCheck(QWidget* page, QFormLayout* form, int id, const char* text) {
    auto* box = new QCheckBox(Tr(text), page);
    box->setObjectName(QString("ctl%1").arg(id));
    form->addRow(QString(), box);
    return box;
}

QComboBox* AddCombo(QWidget* page, QFormLayout* form, int id, const char* label,
                    const std::vector<const char*>& items) {
    auto* combo = new QComboBox(page);
    combo->setObjectName(QString("ctl%1").arg(id));
    for (const char* item : items) combo->addItem(Tr(item));
    combo->setMinimumWidth(160);
    combo->setMaximumWidth(260);
    form->addRow(Tr(label), combo);
    return combo;
}

QFormLayout* MakePageForm(QWidget* page, QPushButton* button) {
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(16, 16, 16, 16);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(8);
    outer->addLayout(form);
    if (button) {
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(button);
        row->addStretch(3);
        outer->addSpacing(12);
        outer->addLayout(row);
    }
    outer->addStretch(1);
    return form;
}

QString Num(int v) {
    return QString::number(v);
}

int PageChannelCount(const CPageDialog* page) {
    CDevice* device = page && page->owner() ? page->owner()->device() : nullptr;
    if (device == nullptr) return 0;
    int channels = page->owner()->channel_count();
    if (channels <= 0 && page->owner()->device_type() == kDeviceTypeZyn) {
        using namespace zyn::wire;
        std::vector<uint8_t> base(GroupInfo(ParamGroup::kBase).record_bytes);
        if (device->GetParam(0, kGroupBase, base.data()))
            channels =
                static_cast<int>(FieldValue(base.data(), Field(ParamGroup::kBase, "channels")));
    }
    return std::clamp(channels, 1, kMaxChannels);
}

void MakeDayRows(QWidget* box, QGridLayout* grid, int first_column, DayModeLists& modes,
                 DayTimeEdits& times) {
    for (int r = 0; r < kDayRows; ++r) {
        modes[r] = MakeDayModeCombo(box, 495 + r);
        grid->addWidget(modes[r], r, 0);
        for (int f = 0; f < 4; ++f) {
            times[r][f] = MakeTimeEdit(box, 502 + kDayRows * f + r);
            grid->addWidget(times[r][f], r, first_column + 2 * f);
            if (f < 3)
                grid->addWidget(new QLabel(f == 1 ? "-" : ":", box), r, first_column + 2 * f + 1,
                                Qt::AlignCenter);
        }
    }
}

void ShowDayRows(const uint8_t* rows, const DayModeLists& modes, const DayTimeEdits& times) {
    for (int r = 0; r < kDayRows; ++r) {
        const uint8_t* row = rows + 8 * r;
        for (int f = 0; f < 4; ++f) times[r][f]->setText(QString::asprintf("%02d", row[f]));
        modes[r]->setCurrentIndex(row[4] <= kDayModeClose ? row[4] : kDayModeClose);
    }
}

void StoreDayRows(uint8_t* rows, const DayModeLists& modes, const DayTimeEdits& times) {
    for (int r = 0; r < kDayRows; ++r) {
        uint8_t* row = rows + 8 * r;
        for (int f = 0; f < 4; ++f)
            row[f] = static_cast<uint8_t>(times[r][f]->text().left(2).toInt());
        row[4] = static_cast<uint8_t>(modes[r]->currentIndex());
    }
}

QGroupBox* MakeTriggerChecks(QWidget* parent, int channels, int outputs, TriggerChecks& record,
                             TriggerChecks& output) {
    auto* box = new QGroupBox(parent);
    auto* grid = new QGridLayout(box);
    grid->addWidget(MakeLabel(box, "Trigger recording:"), 0, 0);
    grid->addWidget(MakeLabel(box, "Trigger output:"), 1, 0);
    for (int k = 0; k < 4; ++k) {
        record[k] = MakeCheck(box, 530 + k, "");
        record[k]->setText(QString::number(k + 1));
        record[k]->setVisible(channels >= 4 || k < channels);
        output[k] = MakeCheck(box, 534 + k, "");
        output[k]->setText(QString::number(k + 1));
        output[k]->setVisible(outputs >= 4 || k < outputs);
        grid->addWidget(record[k], 0, 1 + k);
        grid->addWidget(output[k], 1, 1 + k);
    }
    grid->setColumnStretch(5, 1);
    return box;
}

void ShowFlags(const uint8_t* flags, const TriggerChecks& checks) {
    for (int k = 0; k < 4; ++k) checks[k]->setChecked(flags[k] != 0);
}

void StoreFlags(uint8_t* flags, const TriggerChecks& checks) {
    for (int k = 0; k < 4; ++k) flags[k] = checks[k]->isChecked() ? 1 : 0;
}

}  // namespace configctrl
