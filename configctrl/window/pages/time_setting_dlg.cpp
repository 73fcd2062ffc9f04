#include "configctrl/window/pages/time_setting_dlg.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/pages/zyn_group_io.h"

namespace configctrl {

namespace {
constexpr int kLcRead = 25, kLcWrite = 26, kLcBytes = 10;
constexpr int kAntsRead = 110, kAntsWrite = 210, kAntsBytes = 24;
constexpr uint32_t kQvRead = 0x10000004, kQvWrite = 264;
constexpr int kQvBytes = 76;

using zyn::wire::ParamGroup;

struct Clock {
    int year, month, day, hour, minute, second;
};
}  // namespace

CTimeSettingDlg::CTimeSettingDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    QPushButton* save = MakeButton(this, 244, "OK");
    QFormLayout* form = MakePageForm(this, save);
    clock_ = AddEdit(this, form, 238, "Device the current time");
    clock_->setReadOnly(true);
    clock_->setMinimumWidth(200);
    auto radio = [&](int id, const char* text) {
        auto* r = new QRadioButton(Tr(text), this);
        r->setObjectName(QString("ctl%1").arg(id));
        return r;
    };
    manual_ = radio(285, "Manual settings");
    pc_ = radio(286, "PC synchronization");
    server_ = radio(288, "Server synchronization");
    manual_->setChecked(true);
    date_ = new QDateEdit(QDate::currentDate(), this);
    date_->setObjectName("ctl284");
    date_->setDisplayFormat("yyyy-MM-dd");
    date_->setCalendarPopup(true);
    time_ = new QTimeEdit(QTime::currentTime(), this);
    time_->setObjectName("ctl282");
    time_->setDisplayFormat("HH:mm:ss");
    auto* manual_row = new QHBoxLayout;
    manual_row->addWidget(date_);
    manual_row->addWidget(time_);
    manual_row->addStretch(1);
    form->addRow(manual_, manual_row);
    form->addRow(pc_, static_cast<QWidget*>(nullptr));
    server_address_ = new QLineEdit(this);
    server_address_->setObjectName("ctl243");
    server_address_->setMaximumWidth(260);
    form->addRow(server_, server_address_);
    timer_ = new QTimer(this);
    timer_->setInterval(kClockTimerMs);
    connect(timer_, &QTimer::timeout, this, [this] { ReadClock(); });
    connect(save, &QPushButton::clicked, this, &CTimeSettingDlg::OnSave);
    TranslateWindowTexts(this);
}

bool CTimeSettingDlg::clock_running() const {
    return timer_->isActive();
}

void CTimeSettingDlg::OnPageActivated(quint32, quint32) {
    if (!record_.empty()) return;
    if (LangChiOf(this))
        record_ = PageRecord(kLcBytes);
    else if (AntsOf(this))
        record_ = PageRecord(kAntsBytes);
    else if (QvOf(this))
        record_ = PageRecord(kQvBytes);
    else if (CZynDevice* zyn = ZynOf(this)) {
        record_ = PageRecord(zyn::wire::GroupInfo(ParamGroup::kBase).record_bytes);
        if (ZynRead(zyn, ParamGroup::kNetwork, 0, network_)) {
            server_address_->setText(ZynText(network_, ParamGroup::kNetwork, "ntp_server"));
            if (ZynText(network_, ParamGroup::kNetwork, "ntp") == "on") server_->setChecked(true);
        } else {
            network_ = PageRecord();
        }
    } else
        return;
    if (ReadClock()) timer_->start();
}

bool CTimeSettingDlg::ReadClock() {
    Clock c{};
    if (CLangChiDevice* lc = LangChiOf(this)) {
        if (!LangChiRead(lc, kLcRead, record_)) return false;
        c = {record_.I32(0), record_[4], record_[5], record_[7], record_[8], record_[9]};
    } else if (CANTSDevice* ants = AntsOf(this)) {
        if (!AntsRead(ants, kAntsRead, record_)) return false;
        c = {record_.I32(0),  record_.I32(4),  record_.I32(8),
             record_.I32(12), record_.I32(16), record_.I32(20)};
    } else if (CQVDevice* qv = QvOf(this)) {
        if (!QvRead(qv, kQvRead, record_)) return false;
        c = {record_.I32(4),  record_.I32(8),  record_.I32(12),
             record_.I32(16), record_.I32(20), record_.I32(24)};
    } else if (CZynDevice* zyn = ZynOf(this)) {
        if (!ZynRead(zyn, ParamGroup::kBase, 0, record_)) return false;
        // Seconds since 1970 of the device's local time: read back as UTC.
        const QDateTime t = QDateTime::fromSecsSinceEpoch(
            ZynText(record_, ParamGroup::kBase, "clock").toLongLong(), Qt::UTC);
        c = {t.date().year(), t.date().month(),  t.date().day(),
             t.time().hour(), t.time().minute(), t.time().second()};
    } else {
        return false;
    }
    clock_->setText(QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                                      c.hour, c.minute, c.second));
    return true;
}

void CTimeSettingDlg::OnSave() {
    if (ZynOf(this) && !WriteTimeServer(server_->isChecked())) return;
    if (server_->isChecked()) return;  // a time server sets the clock; nothing to send
    const QDateTime t =
        pc_->isChecked() ? QDateTime::currentDateTime() : QDateTime(date_->date(), time_->time());
    WriteClock(t);
}

bool CTimeSettingDlg::WriteTimeServer(bool on) {
    const ParamGroup net = ParamGroup::kNetwork;
    const QString was_on = ZynText(network_, net, "ntp");
    if (!on && was_on != "on") return true;  // nothing to switch off
    PageRecord r = network_;
    if (!SetZynText(r, net, "ntp", on ? "on" : "off") ||
        (on && !SetZynText(r, net, "ntp_server", server_address_->text().trimmed())) ||
        !ZynWrite(ZynOf(this), net, 0, r))
        return false;
    network_ = r;
    return true;
}

bool CTimeSettingDlg::WriteClock(const QDateTime& t) {
    const QDate d = t.date();
    const QTime h = t.time();
    if (CLangChiDevice* lc = LangChiOf(this)) {
        PageRecord r = record_.empty() ? PageRecord(kLcBytes) : record_;
        r.SetI32(0, d.year());
        r[4] = static_cast<uint8_t>(d.month());
        r[5] = static_cast<uint8_t>(d.day());
        r[7] = static_cast<uint8_t>(h.hour());
        r[8] = static_cast<uint8_t>(h.minute());
        r[9] = static_cast<uint8_t>(h.second());
        return LangChiWrite(lc, kLcWrite, r);
    }
    const int v[6] = {d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second()};
    if (CANTSDevice* ants = AntsOf(this)) {
        PageRecord r(kAntsBytes);
        for (int i = 0; i < 6; ++i) r.SetI32(4 * i, v[i]);
        return AntsWrite(ants, kAntsWrite, r);
    }
    if (CZynDevice* zyn = ZynOf(this))
        return zyn->SetClock(v[0], v[1], v[2], v[3], v[4], v[5]) != 0;
    if (CQVDevice* qv = QvOf(this)) {
        PageRecord r = record_.empty() ? PageRecord(kQvBytes) : record_;
        r.SetI32(0, kQvBytes);
        for (int i = 0; i < 6; ++i) r.SetI32(4 + 4 * i, v[i]);
        return QvWrite(qv, kQvWrite, r);
    }
    return false;
}

}  // namespace configctrl
