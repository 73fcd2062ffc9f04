#include "configctrl/window/pages/dlg_remote_alarm_in_handle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "configctrl/control/language_dictionary.h"

namespace configctrl {

CDlgRemoteAlarmInHandle::CDlgRemoteAlarmInHandle(Section section,
                                                 const std::vector<uint8_t>& record, int outputs,
                                                 int channels, Apply apply, QWidget* parent)
    : CDialogEx(kDialogId, parent, Qt::Dialog),
      section_(section),
      record_(record),
      apply_(std::move(apply)) {
    record_.resize(std::max<size_t>(record_.size(), kEndByte), 0);
    auto* layout = new QVBoxLayout(this);
    if (section == Section::kHandling) {
        setWindowTitle(Tr("Alarm Input Setup"));
        auto* box = new QGroupBox(Tr("Handle Mode"), this);
        auto* grid = new QGridLayout(box);
        audible_ = new QCheckBox(Tr("Audible Warning"), box);
        audible_->setObjectName("handle_audible");
        audible_->setChecked(record_[kFlags] & 1);
        upload_ = new QCheckBox(Tr("Upload to Center"), box);
        upload_->setObjectName("handle_upload");
        upload_->setChecked(record_[kFlags] & 2);
        grid->addWidget(audible_, 0, 0);
        grid->addWidget(upload_, 0, 1);
        const int count = std::clamp(outputs, 0, int(kMaxOutputs));
        for (int i = 0; i < count; ++i) {
            auto* out = new QCheckBox(TranslateText(QString("AlarmOut%1").arg(i + 1)), box);
            out->setObjectName(QString("handle_out%1").arg(i + 1));
            out->setChecked(record_[kOutputs + i] != 0);
            grid->addWidget(out, 1 + i / 4, i % 4);
            outputs_.push_back(out);
        }
        layout->addWidget(box);
    } else {
        setWindowTitle(Tr("Trigger PTZ"));
        auto* box = new QWidget(this);
        auto* grid = new QGridLayout(box);
        grid->addWidget(new QLabel(Tr("Channel"), box), 0, 0);
        grid->addWidget(new QLabel(Tr("PTZ Action"), box), 0, 1);
        grid->addWidget(new QLabel(Tr("Number"), box), 0, 2);
        const int count = std::clamp(channels, 0, int(kMaxChannels));
        for (int c = 0; c < count; ++c) {
            const uint8_t* ptz = record_.data() + kPtz + kPtzBytes * c;
            auto* action = new QComboBox(box);
            action->setObjectName(QString("ptz_action%1").arg(c + 1));
            for (const char* a : {"None", "Preset", "Cruise", "Track"}) action->addItem(Tr(a));
            action->setCurrentIndex(ptz[0] < 4 ? ptz[0] : 0);
            auto* number = new QSpinBox(box);
            number->setObjectName(QString("ptz_number%1").arg(c + 1));
            number->setRange(0, 255);
            number->setValue(ptz[1]);
            grid->addWidget(new QLabel(QString::number(c + 1), box), 1 + c, 0);
            grid->addWidget(action, 1 + c, 1);
            grid->addWidget(number, 1 + c, 2);
            actions_.push_back(action);
            numbers_.push_back(number);
        }
        grid->setRowStretch(count + 1, 1);
        if (count <= kRowsShown) {
            layout->addWidget(box);
        } else {  // as wide as the rows, kRowsShown of them high; the others scroll
            auto* scroll = new QScrollArea(this);
            scroll->setWidget(box);
            scroll->setWidgetResizable(true);
            scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            const int frame = 2 * scroll->frameWidth();
            scroll->setMinimumSize(
                box->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width() + frame,
                box->sizeHint().height() * (kRowsShown + 1) / (count + 1) + frame);
            layout->addWidget(scroll);
        }
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName("ok");
    QPushButton* cancel = buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName("cancel");
    layout->addWidget(buttons);
    connect(ok, &QPushButton::clicked, this, &CDlgRemoteAlarmInHandle::Accept);
    connect(cancel, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
}

void CDlgRemoteAlarmInHandle::Accept() {
    if (section_ == Section::kHandling) {
        record_[kFlags] =
            static_cast<uint8_t>((audible_->isChecked() ? 1 : 0) | (upload_->isChecked() ? 2 : 0) |
                                 (record_[kFlags] & ~3));
        for (size_t i = 0; i < outputs_.size(); ++i)
            record_[kOutputs + i] = outputs_[i]->isChecked() ? 1 : 0;
    } else {
        for (size_t c = 0; c < actions_.size(); ++c) {
            uint8_t* ptz = record_.data() + kPtz + kPtzBytes * c;
            ptz[0] = static_cast<uint8_t>(actions_[c]->currentIndex());
            ptz[1] = static_cast<uint8_t>(numbers_[c]->value());
        }
    }
    if (apply_) apply_(record_);
    done(QDialog::Accepted);
}

}  // namespace configctrl
