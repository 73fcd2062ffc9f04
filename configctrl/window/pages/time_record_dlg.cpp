#include "configctrl/window/pages/time_record_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

#include <cstdio>
#include <string>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "zynvs/wire/param_fields.h"

namespace configctrl {

namespace {

using zyn::wire::ParamGroup;

// Row r is a day, Monday first, as the day-mode list counts them; the
// record's windows are named after the days ("mon1", "mon2").
const char* const kDayNames[CRecordSchedulePage::kRows] = {"Mon", "Tue", "Wed", "Thu",
                                                           "Fri", "Sat", "Sun"};
const char* const kDayFields[CRecordSchedulePage::kRows] = {"mon", "tue", "wed", "thu",
                                                            "fri", "sat", "sun"};
constexpr int kOwnClose = 1;         // the own rows' lists: the day, then "close"
constexpr int kModeSchedule = 2;     // record mode "schedule"
constexpr int kFirstSecondId = 530;  // the second windows' edits, by field then row

const zyn::wire::ParamField& Window(int row, int window) {
    const std::string name = kDayFields[row] + std::to_string(window + 1);
    return *zyn::wire::FindField(ParamGroup::kRecord, name);
}
const zyn::wire::ParamField& Mode() {
    return *zyn::wire::FindField(ParamGroup::kRecord, "mode");
}

}  // namespace

CTimeRecordDlg::CTimeRecordDlg(CFrontSetDialog* owner)
    : CRecordSchedulePage(kDialogId, owner, "Start Timer Record", kLayout, true),
      own_(owner && owner->device_type() == kDeviceTypeZyn) {
    if (!own_) return;
    QGridLayout* grid = rows_grid();
    QWidget* box = grid->parentWidget();
    auto* validator = new QIntValidator(0, 99, this);
    grid->setColumnMinimumWidth(9, 28);
    for (int r = 0; r < kRows; ++r) {
        QComboBox* list = mode_list(r);
        list->clear();
        list->addItems({Tr(kDayNames[r]), Tr("close")});
        list->setCurrentIndex(kOwnClose);
        for (int f = 0; f < kTimes; ++f) {
            QLineEdit* e = MakeEdit(box, kFirstSecondId + kRows * f + r);
            e->setValidator(validator);
            e->setMaxLength(2);
            e->setAlignment(Qt::AlignCenter);
            e->setFixedWidth(time_edit(r, f)->minimumWidth());
            second_[r][f] = e;
            grid->addWidget(e, r, 10 + 2 * f);
            if (f < kTimes - 1)
                grid->addWidget(new QLabel(f == 1 ? "-" : ":", box), r, 11 + 2 * f,
                                Qt::AlignCenter);
        }
    }
}

size_t CTimeRecordDlg::RecordBytes() const {
    return own_ ? zyn::wire::GroupInfo(ParamGroup::kRecord).record_bytes
                : CRecordSchedulePage::RecordBytes();
}

bool CTimeRecordDlg::ReadRecord(int channel) {
    if (!own_) return CRecordSchedulePage::ReadRecord(channel);
    auto* device = dynamic_cast<CZynDevice*>(owner()->device());
    return device && device->GetParam(channel, kGroupRecord, record_.data()) == 1;
}

bool CTimeRecordDlg::WriteRecord(int channel) {
    if (!own_) return CRecordSchedulePage::WriteRecord(channel);
    auto* device = dynamic_cast<CZynDevice*>(owner()->device());
    return device && device->SetParam(channel, kGroupRecord, record_.data()) == 1;
}

void CTimeRecordDlg::ShowRecord() {
    if (!own_) return CRecordSchedulePage::ShowRecord();
    enable_box()->setChecked(zyn::wire::FieldValue(record_.data(), Mode()) == kModeSchedule);
    for (int r = 0; r < kRows; ++r) {
        bool used = false;
        for (int w = 0; w < 2; ++w) {
            const std::string span = zyn::wire::FormatField(record_.data(), Window(r, w));
            unsigned t[kTimes] = {};
            std::sscanf(span.c_str(), "%u:%u-%u:%u", &t[0], &t[1], &t[2], &t[3]);
            for (int f = 0; f < kTimes; ++f) {
                (w == 0 ? time_edit(r, f) : second_[r][f])
                    ->setText(QString::asprintf("%02u", t[f]));
                used = used || t[f] != 0;
            }
        }
        mode_list(r)->setCurrentIndex(used ? 0 : kOwnClose);
    }
}

bool CTimeRecordDlg::TakeControls() {
    if (!own_) return CRecordSchedulePage::TakeControls();
    PageRecord taken = record_;
    uint8_t* bytes = taken.data();
    const int64_t mode = zyn::wire::FieldValue(bytes, Mode());
    if (enable_box()->isChecked())
        zyn::wire::SetFieldValue(bytes, Mode(), kModeSchedule);
    else if (mode == kModeSchedule)
        zyn::wire::SetFieldValue(bytes, Mode(), 0);  // "off"
    for (int r = 0; r < kRows; ++r) {
        const bool closed = mode_list(r)->currentIndex() == kOwnClose;
        for (int w = 0; w < 2; ++w) {
            int t[kTimes] = {};
            for (int f = 0; f < kTimes && !closed; ++f)
                t[f] = EditValue(w == 0 ? time_edit(r, f) : second_[r][f]);
            const QByteArray span =
                QString::asprintf("%02d:%02d-%02d:%02d", t[0], t[1], t[2], t[3]).toLatin1();
            if (!zyn::wire::ParseField(span.toStdString(), Window(r, w), bytes)) return false;
        }
    }
    record_ = taken;
    return true;
}

void CTimeRecordDlg::ClearControls() {
    CRecordSchedulePage::ClearControls();
    for (auto& row : second_)
        for (QLineEdit* e : row)
            if (e) e->clear();
}

}  // namespace configctrl
