// "Timer Record" and "Ftp record": the LangChi pages against the emulated
// NetClient library (the bytes of the channel and FTP records after a save,
// the channel-change question, failed reads and writes), and the
// own-protocol "Timer Record" against the device emulator (the schedule
// read back field by field). Runs under Xvfb when a display is there and
// leaves a screenshot per page in artifacts/configctrl; offscreen otherwise.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <string>

#include "configctrl/control/zyn_config_ctrl.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_tree.h"
#include "configctrl/window/pages/category_pages.h"
#include "configctrl/window/pages/ftp_recoder_dlg.h"
#include "configctrl/window/pages/time_record_dlg.h"
#include "configctrl/window/tips_box.h"
#include "tools/devsim/devsim.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"
#include "zynvs/wire/param_fields.h"
#include "zynvs/zynvs_commands.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;

namespace {

int g_unit = 150;
QByteArray g_ip;

bool ResetNetClient(const QByteArray& failing) {
    auto lib = vendors::VendorLibrary::Open("NetClient");
    ZynVendorEmu_Reset_t reset = nullptr;
    ZynVendorEmu_Fail_t fail = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Reset", &reset) || !lib->Get("ZynVendorEmu_Fail", &fail))
        return false;
    // A new address each time: the library keeps records by address.
    g_ip = "127.0.0." + QByteArray::number(++g_unit);
    reset(("camsearch ip=" + g_ip +
           " name=LC-1 data_port=5000 channels=2 alarm_in=1 alarm_out=1 user=570431 "
           "password=570431\n")
              .constData());
    fail(failing.constData());
    return true;
}

bool SetFailing(const QByteArray& failing) {
    auto lib = vendors::VendorLibrary::Open("NetClient");
    ZynVendorEmu_Fail_t fail = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Fail", &fail)) return false;
    fail(failing.constData());
    return true;
}

// How many LangChi record calls named `tail` (",8,1,132)") the library saw.
int RecordCalls(const QString& tail) {
    auto lib = vendors::VendorLibrary::Open("NetClient");
    ZynVendorEmu_Calls_t calls = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Calls", &calls)) return -1;
    QByteArray buf(calls(nullptr, 0), '\0');
    calls(buf.data(), int(buf.size()));
    return int(QString::fromLatin1(buf.constData())
                   .split('\n')
                   .filter("NetClient_Ord126(")
                   .filter(tail)
                   .size());
}

void Screenshot(QWidget* w, const QString& name) {
    w->window()->grab().save(page_test::ArtifactPath(name, "configctrl"));
}

// A logged-in window; messages land in `said` ("tips: ..." / "ask: ..."),
// questions get `answer`.
struct Window {
    std::unique_ptr<CZynConFigCtrlCtrl> ctrl = std::make_unique<CZynConFigCtrlCtrl>();
    QStringList said;
    bool answer = false;

    Window(int type, const QByteArray& ip, int port, const char* user) {
        CRHYesNoToAllDialog::SetHook(
            [this](const QString& text, CRHYesNoToAllDialog::Buttons buttons) {
                const bool ask = buttons == CRHYesNoToAllDialog::Buttons::kYesNo;
                said << (ask ? "ask: " : "tips: ") + text;
                return ask ? answer : true;
            });
        ctrl->resize(400, 300);
        ctrl->show();
        ctrl->LoginDevice("dev", ip, port, user, user, type);
        ctrl->MoveWindow(0, 960, 0, 700);
    }
    ~Window() { CRHYesNoToAllDialog::SetHook(nullptr); }
    CFrontSetDialog* window() const { return ctrl->window(); }
    template <typename Page>
    Page* Show() {
        Page* page = window()->page<Page>();
        window()->SwitchPage(window()->visible_page(), page);
        return page;
    }
    // Shows another page and then the given one again (a cached activation).
    template <typename Page>
    Page* ShowAgain() {
        window()->SwitchPage(window()->visible_page(), window()->page<CBaseDialog>());
        return Show<Page>();
    }
    bool LangChiWrite(int command, int channel, QByteArray r) const {
        auto* d = dynamic_cast<CLangChiDevice*>(window()->device());
        return d && d->LangChiConfig(0, command, channel, reinterpret_cast<intptr_t>(r.data()),
                                     r.size(), 0);
    }
    QByteArray LangChiRecord(int command, int channel, int bytes) const {
        QByteArray r(bytes, '\0');
        auto* d = dynamic_cast<CLangChiDevice*>(window()->device());
        return d && d->LangChiConfig(0, command, channel, reinterpret_cast<intptr_t>(r.data()),
                                     bytes, 0)
                   ? r
                   : QByteArray();
    }
};

// One row as text: "mode|sh|sm|eh|em".
QString RowText(CRecordSchedulePage* page, int r) {
    QStringList cells{QString::number(page->mode_list(r)->currentIndex())};
    for (int f = 0; f < 4; ++f) cells << page->time_edit(r, f)->text();
    return cells.join('|');
}

void EnterRow(CRecordSchedulePage* page, int r, int mode, const QStringList& times) {
    page->mode_list(r)->setCurrentIndex(mode);
    for (int f = 0; f < 4; ++f) page->time_edit(r, f)->setText(times[f]);
}

// The LangChi record a save of rows 0 (Everyday 08:30-17:45), 3 (Thu
// 99:05-23:59) and the enable box leaves, on top of `before`.
QByteArray WithEdits(QByteArray r, int enable_at, int rows_at) {
    r[enable_at] = 1;
    r[enable_at + 1] = r[enable_at + 2] = r[enable_at + 3] = 0;
    const char row0[] = {8, 30, 17, 45, 9}, row3[] = {99, 5, 23, 59, 3};
    for (int i = 0; i < 5; ++i) {
        r[rows_at + i] = row0[i];
        r[rows_at + 24 + i] = row3[i];
    }
    return r;
}
void EnterEdits(CRecordSchedulePage* page) {
    page->enable_box()->setChecked(true);
    EnterRow(page, 0, 9, {"08", "30", "17", "45"});
    EnterRow(page, 3, 3, {"99", "5", "23", "59"});
}

}  // namespace

class TimerPagesTest : public QObject {
    Q_OBJECT

private slots:
    // Timer Record on a LangChi device: what a save writes (enable at 72,
    // rows at 76 + 8r, 99 stays 99, the encoder fields as the device holds
    // them at the save) and what a failed read or write leaves.
    void langChiTimerRecord_data() {
        QTest::addColumn<QByteArray>("fail");  // "", "read", "write"
        QTest::newRow("saved") << QByteArray();
        QTest::newRow("read fails") << QByteArray("read");
        QTest::newRow("write fails") << QByteArray("write");
    }
    void langChiTimerRecord() {
        QFETCH(QByteArray, fail);
        QVERIFY(ResetNetClient(""));
        Window w(kDeviceTypeLangChi, g_ip, 5000, "570431");
        const QByteArray before = w.LangChiRecord(8, 0, 132);
        QCOMPARE(before.size(), 132);
        QVERIFY(SetFailing(fail == "read" ? "NetClient_Ord126" : ""));
        auto* page = w.Show<CTimeRecordDlg>();
        QTRY_VERIFY(page->isVisible());
        QCOMPARE(page->mode_list(0)->count(), 11);
        QCOMPARE(page->mode_list(0)->itemText(7), QString("Mon To Fri"));
        // Read or not, every row starts on "close"; a read shows "%02d" times.
        const QString row = fail == "read" ? "10||||" : "10|00|00|00|00";
        for (int r = 0; r < 7; ++r) QCOMPARE(RowText(page, r), row);
        QVERIFY(!page->enable_box()->isChecked());

        // Meanwhile the video coding page saves another bit rate: kept.
        QVERIFY(SetFailing(""));
        QByteArray current = before;
        current[44] = char(0x40), current[45] = char(0x06);  // 1600 kbit/s
        QVERIFY(w.LangChiWrite(9, 0, current));
        QVERIFY(SetFailing(fail == "write" ? "NetClient_Ord126" : ""));
        EnterEdits(page);
        if (fail.isEmpty()) Screenshot(page, "page_timer_record_langchi.png");
        page->ok_button()->click();
        QCOMPARE(w.said, QStringList{fail == "write" ? "tips: Set failed" : "tips: Set success"});
        QVERIFY(SetFailing(""));
        const QByteArray after = w.LangChiRecord(8, 0, 132);
        QCOMPARE(after.toHex(), (fail == "write" ? current : WithEdits(current, 72, 76)).toHex());

        // Another activation reads nothing and shows the cache: what was
        // entered, also after a failed write.
        const int reads = RecordCalls(",8,0,132)");
        page->mode_list(3)->setCurrentIndex(1);  // not saved
        w.ShowAgain<CTimeRecordDlg>();
        QCOMPARE(RecordCalls(",8,0,132)"), reads);
        QCOMPARE(RowText(page, 0), QString("9|08|30|17|45"));
        QCOMPARE(RowText(page, 3), QString("3|99|05|23|59"));
        QVERIFY(page->enable_box()->isChecked());
    }

    // Changing the channel asks whether to save; Yes writes the shown
    // channel, No discards its edits; the new channel is read (its own
    // number also for the FTP record) and shown.
    void channelChange_data() {
        QTest::addColumn<bool>("ftp");
        QTest::addColumn<bool>("yes");
        QTest::newRow("timer, yes") << false << true;
        QTest::newRow("timer, no") << false << false;
        QTest::newRow("ftp, yes") << true << true;
        QTest::newRow("ftp, no") << true << false;
    }
    void channelChange() {
        QFETCH(bool, ftp);
        QFETCH(bool, yes);
        QVERIFY(ResetNetClient(""));
        Window w(kDeviceTypeLangChi, g_ip, 5000, "570431");
        const int read = ftp ? 184 : 8, bytes = ftp ? 60 : 132;
        const int enable_at = ftp ? 0 : 72, rows_at = ftp ? 4 : 76;
        const QByteArray before = w.LangChiRecord(read, 0, bytes);
        CRecordSchedulePage* page =
            ftp ? static_cast<CRecordSchedulePage*>(w.Show<CFtpRecoderDlg>())
                : w.Show<CTimeRecordDlg>();
        QTRY_VERIFY(page->isVisible());
        QCOMPARE(page->enable_box()->text(),
                 QString(ftp ? "Start FTP Record" : "Start Timer Record"));
        QCOMPARE(page->channel_list()->count(), 2);
        if (ftp) Screenshot(page, "page_ftp_record_langchi.png");
        EnterEdits(page);
        const QString tail = QString(",%1,1,%2)").arg(read).arg(bytes);
        QCOMPARE(RecordCalls(tail), 0);

        w.answer = yes;
        page->channel_list()->setCurrentIndex(1);
        const QStringList asked{"ask: Save the settings just made?"};
        QCOMPARE(w.said, asked + (yes && !ftp ? QStringList{"tips: Set success"} : QStringList{}));
        QCOMPARE(page->channel(), 1);
        QCOMPARE(RecordCalls(tail), 1);  // the new channel, read by its number
        QCOMPARE(RowText(page, 0), QString("10|00|00|00|00"));
        QVERIFY(!page->enable_box()->isChecked());
        const QByteArray saved = w.LangChiRecord(read, 0, bytes);
        QCOMPARE(saved.toHex(), (yes ? WithEdits(before, enable_at, rows_at) : before).toHex());

        // Back to the first channel (No): what the device holds is shown.
        w.answer = false;
        page->channel_list()->setCurrentIndex(0);
        QCOMPARE(RowText(page, 0), QString(yes ? "9|08|30|17|45" : "10|00|00|00|00"));
        QCOMPARE(page->enable_box()->isChecked(), yes);
    }

    // The own protocol's Timer Record: the record group's schedule as seven
    // day rows with two windows, written for the chosen channel and read back
    // from the emulator field by field; times past 24:00 are refused.
    void ownTimerRecord_data() {
        QTest::addColumn<QString>("end_hour");
        QTest::addColumn<bool>("saved");
        QTest::newRow("saved") << "18" << true;
        QTest::newRow("25:00 refused") << "25" << false;
    }
    void ownTimerRecord() {
        QFETCH(QString, end_hour);
        QFETCH(bool, saved);
        devsim::Config cfg;
        cfg.devices.resize(1);
        cfg.devices[0].channel_count = 2;
        cfg.devices[0].main = {160, 120, 5, 64, 5, 1};
        cfg.devices[0].sub = {160, 120, 5, 64, 5, 1};
        devsim::Emulator own(cfg);
        std::string error;
        QVERIFY2(own.Start(&error), error.c_str());
        const uint16_t port = own.device(0).control_port();
        Window w(kDeviceTypeZyn, "127.0.0.1", port, "admin");
        QVERIFY(w.window()->device() && w.window()->device()->logged_in());
        QVERIFY(w.window()->tree()->FindItem("Timer Record"));
        const auto before = own.device(0).Param(ZYN_CMD_GET_RECORD, 1);
        const auto first = own.device(0).Param(ZYN_CMD_GET_RECORD, 0);

        auto* page = w.Show<CTimeRecordDlg>();
        QTRY_VERIFY(page->isVisible());
        // The emulator's default: recording off, every day's first window whole.
        QCOMPARE(page->mode_list(6)->count(), 2);
        QCOMPARE(page->mode_list(6)->itemText(0), QString("Sun"));
        for (int r = 0; r < 7; ++r) QCOMPARE(RowText(page, r), QString("0|00|00|24|00"));
        QCOMPARE(page->second_edit(0, 2)->text(), QString("00"));
        QVERIFY(!page->enable_box()->isChecked());

        w.answer = false;
        page->channel_list()->setCurrentIndex(1);
        QCOMPARE(page->channel(), 1);
        page->enable_box()->setChecked(true);
        EnterRow(page, 0, 0, {"08", "00", "12", "00"});  // Monday, two windows
        const QString second[4] = {"13", "30", end_hour, "00"};
        for (int f = 0; f < 4; ++f) page->second_edit(0, f)->setText(second[f]);
        page->mode_list(6)->setCurrentIndex(1);  // Sunday closed
        if (saved) Screenshot(page, "page_timer_record_own.png");
        page->ok_button()->click();
        QCOMPARE(w.said, (QStringList{"ask: Save the settings just made?",
                                      saved ? "tips: Set success" : "tips: Set failed"}));

        const auto after = own.device(0).Param(ZYN_CMD_GET_RECORD, 1);
        if (!saved) {
            QVERIFY(after == before);
            return;
        }
        using zyn::wire::ParamGroup;
        auto field = [&](const char* name) {
            const auto* f = zyn::wire::FindField(ParamGroup::kRecord, name);
            return f ? QString::fromStdString(zyn::wire::FormatField(after.data(), *f)) : "?";
        };
        const QStringList names{"mode", "mon1", "mon2", "tue1", "sun1", "sun2", "prerecord"};
        QStringList got;
        for (const QString& n : names) got << n + "=" + field(n.toLatin1().constData());
        QCOMPARE(got, (QStringList{"mode=schedule", "mon1=08:00-12:00", "mon2=13:30-18:00",
                                   "tue1=00:00-24:00", "sun1=00:00-00:00", "sun2=00:00-00:00",
                                   "prerecord=5"}));
        QVERIFY(own.device(0).Param(ZYN_CMD_GET_RECORD, 0) == first);  // only channel 2 changed
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    TimerPagesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "timer_pages_test.moc"
