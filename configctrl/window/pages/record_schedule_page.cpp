#include "configctrl/window/pages/record_schedule_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

CRecordSchedulePage::CRecordSchedulePage(int dialog_id, CFrontSetDialog* owner,
                                         const char* enable_text,
                                         const LangChiScheduleLayout& layout, bool report_save)
    : CPageDialog(dialog_id, owner), layout_(layout), report_save_(report_save) {
    channel_list_ = MakeCombo(this, 493);
    for (int ch = 1; ch <= (owner ? owner->channel_count() : 0); ++ch)
        channel_list_->addItem(QString::number(ch));
    channel_list_->setCurrentIndex(channel_list_->count() > 0 ? 0 : -1);
    channel_list_->setMinimumWidth(80);
    enable_ = MakeCheck(this, 494, enable_text);

    auto* head = new QHBoxLayout;
    head->addWidget(MakeLabel(this, "channel"));
    head->addWidget(channel_list_);
    head->addSpacing(32);
    head->addWidget(enable_);
    head->addStretch(1);

    auto* rows = new QGroupBox(this);
    rows_grid_ = new QGridLayout(rows);
    rows_grid_->setHorizontalSpacing(6);
    rows_grid_->setVerticalSpacing(8);
    MakeDayRows(rows, rows_grid_, 2, modes_, times_);
    rows_grid_->setColumnMinimumWidth(1, 16);
    for (int r = 0; r < kRows; ++r) {
        modes_[r]->setMinimumWidth(130);
        for (QLineEdit* e : times_[r]) e->setAlignment(Qt::AlignCenter);
    }
    rows_grid_->setColumnStretch(20, 1);
    ClearControls();

    ok_ = MakeButton(this, 281, "OK");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(16, 16, 16, 16);
    page->setSpacing(12);
    page->addLayout(head);
    page->addWidget(rows);
    page->addLayout(buttons);
    page->addStretch(1);

    connect(ok_, &QPushButton::clicked, this, [this] { Save(); });
    connect(channel_list_, &QComboBox::currentIndexChanged, this,
            [this](int index) { ChangeChannel(index); });
}

void CRecordSchedulePage::OnPageActivated(quint32, quint32) {
    if (!record_.empty()) {
        if (read_ok_) ShowRecord();  // no refresh: what was read or saved last
        return;
    }
    record_ = PageRecord(RecordBytes());
    ClearControls();
    read_ok_ = ReadRecord(channel_);
    if (read_ok_) ShowRecord();
}

size_t CRecordSchedulePage::RecordBytes() const {
    return layout_.bytes;
}

bool CRecordSchedulePage::ReadRecord(int channel) {
    CLangChiDevice* device = LangChiOf(this);
    return device && device->LangChiConfig(0, layout_.read_command, channel,
                                           reinterpret_cast<intptr_t>(record_.data()),
                                           static_cast<intptr_t>(record_.size()), 0) != 0;
}

void CRecordSchedulePage::ShowRecord() {
    enable_->setChecked(record_.I32(layout_.enable_at) != 0);
    ShowDayRows(record_.data() + layout_.rows_at, modes_, times_);
}

bool CRecordSchedulePage::TakeControls() {
    record_.SetI32(layout_.enable_at, enable_->isChecked() ? 1 : 0);
    StoreDayRows(record_.data() + layout_.rows_at, modes_, times_);
    return true;
}

bool CRecordSchedulePage::WriteRecord(int channel) {
    CLangChiDevice* device = LangChiOf(this);
    return device && device->LangChiConfig(0, layout_.write_command, channel,
                                           reinterpret_cast<intptr_t>(record_.data()),
                                           static_cast<intptr_t>(record_.size()), 0) != 0;
}

void CRecordSchedulePage::ClearControls() {
    enable_->setChecked(false);
    for (int r = 0; r < kRows; ++r) {
        modes_[r]->setCurrentIndex(modes_[r]->count() - 1);  // "close"
        for (QLineEdit* e : times_[r]) e->clear();
    }
}

int CRecordSchedulePage::EditValue(const QLineEdit* edit) {
    return edit->text().left(2).toInt();
}

// The record is read again right before it is written, and the page's
// fields go onto what the device holds then: the LangChi channel record also
// holds the encoder settings, which the video coding page may have changed
// since this page read it. When that read fails the cache is used, and a
// record never read is not written at all (zeros would overwrite the rest).
void CRecordSchedulePage::Save() {
    PageRecord fresh(RecordBytes());
    std::swap(record_, fresh);
    if (ReadRecord(channel_))
        read_ok_ = true;
    else
        std::swap(record_, fresh);
    const bool ok = read_ok_ && TakeControls() && WriteRecord(channel_);
    if (report_save_) ShowTips(this, ok ? "Set success" : "Set failed");
}

void CRecordSchedulePage::ChangeChannel(int index) {
    if (index < 0 || index == channel_) return;
    if (CRHYesNoToAllDialog::Ask(this, "Save the settings just made?")) Save();
    channel_ = index;
    record_ = PageRecord();
    read_ok_ = false;
    OnPageActivated(0, 0);
}

}  // namespace configctrl
