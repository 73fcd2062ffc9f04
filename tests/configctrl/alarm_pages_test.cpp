// The alarm pages against the emulated ANTS library: the schedule check of
// the alarm output page (typed into the editor, confirmed, stored or
// refused), and which records "save" writes and what they hold then. Leaves
// a screenshot of the page in artifacts/configctrl.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <memory>

#include "configctrl/control/zyn_config_ctrl.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_tree.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/window/live_preview.h"
#include "configctrl/window/pages/dlg_remote_alarm_in_handle.h"
#include "configctrl/window/pages/dlg_remote_motion_detect.h"
#include "configctrl/window/pages/sensor_param_dialog.h"
#include "configctrl/window/pages/sub_dlg_alarm_cfg.h"
#include "configctrl/window/schedule_editor.h"
#include "configctrl/window/tips_box.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;
using page_test::ArtifactPath;

namespace {

// "08:00-12:00 11:00-13:00" into the editor's first periods; the others empty.
void TypePeriods(CScheduleEditor* editor, const QString& periods) {
    const QStringList list = periods.split(' ', Qt::SkipEmptyParts);
    for (int p = 0; p < editor->period_count(); ++p) {
        QStringList f = p < list.size() ? list[p].split(QRegularExpression("[:-]"))
                                        : QStringList{"0", "0", "0", "0"};
        for (int k = 0; k < 4; ++k) {
            editor->edit(p, k)->clear();
            QTest::keyClicks(editor->edit(p, k), f[k]);
        }
    }
}

void Drag(QWidget* area, QPoint from, QPoint to) {
    QMouseEvent press(QEvent::MouseButtonPress, from, area->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, {});
    QApplication::sendEvent(area, &press);
    QMouseEvent move(QEvent::MouseMove, to, area->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(area, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, area->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, {});
    QApplication::sendEvent(area, &release);
}

void OpenPage(CFrontSetDialog* w, const QString& item, QWidget* page) {
    QTest::mouseClick(w->tree()->viewport(), Qt::LeftButton, {},
                      w->tree()->visualItemRect(w->tree()->FindItem(item)).center());
    QTRY_VERIFY(page->isVisible());
}

template <typename T>
T* Child(QWidget* page, int id) {
    T* w = page->findChild<T*>(QString("ctl%1").arg(id));
    if (!w) qFatal("no control %d", id);
    return w;
}

}  // namespace

class AlarmPagesTest : public QObject {
    Q_OBJECT

    std::shared_ptr<vendors::VendorLibrary> ants_;
    ZynVendorEmu_Calls_t calls_ = nullptr;
    ZynVendorEmu_Fail_t fail_ = nullptr;
    std::unique_ptr<CZynConFigCtrlCtrl> ctrl_;
    QStringList tips_;

    qsizetype calls_seen_ = 0;
    // The calls logged since the last look that start with `prefix`.
    QStringList TakeCalls(const QString& prefix) {
        QByteArray buf(calls_(nullptr, 0) + 1, 0);
        calls_(buf.data(), static_cast<int>(buf.size()));
        const QStringList lines =
            QString::fromLatin1(buf.constData()).split('\n', Qt::SkipEmptyParts);
        QStringList found;
        for (qsizetype i = calls_seen_; i < lines.size(); ++i)
            if (lines[i].startsWith(prefix)) found << lines[i];
        calls_seen_ = lines.size();
        return found;
    }
    CFrontSetDialog* Window() { return ctrl_->window(); }
    CSubDlgAlarmCfg* AlarmPage() { return Window()->page<CSubDlgAlarmCfg>(); }
    QByteArray DeviceRecord(int command, int channel, int bytes) {
        QByteArray rec(bytes, 0);
        auto* dev = dynamic_cast<CANTSDevice*>(Window()->device());
        if (!dev || !dev->GetDVRConfig(command, channel, rec.data(), bytes, nullptr)) return {};
        return rec;
    }

private slots:
    void initTestCase() {
        ants_ = vendors::VendorLibrary::Open("AntsNetSDK");
        ZynVendorEmu_Reset_t reset = nullptr;
        QVERIFY(ants_ && ants_->Get("ZynVendorEmu_Reset", &reset) &&
                ants_->Get("ZynVendorEmu_Calls", &calls_) &&
                ants_->Get("ZynVendorEmu_Fail", &fail_));
        reset(
            "ants ip=127.0.0.71 name=NVR data_port=8000 channels=4 alarm_in=20 alarm_out=2 "
            "user=admin password=12345\n");
        SetTipsHook([this](const QString& text) { tips_ << text; });
        ctrl_ = std::make_unique<CZynConFigCtrlCtrl>();
        ctrl_->resize(960, 700);
        ctrl_->show();
        QVERIFY(ctrl_->LoginDevice("nvr", "127.0.0.71", 8000, "admin", "12345", kDeviceTypeAnts));
        ctrl_->MoveWindow(0, 960, 0, 700);
        OpenPage(Window(), "sensor alarm", AlarmPage());
        QVERIFY(tips_.isEmpty());
    }
    void cleanupTestCase() {
        ctrl_.reset();
        SetTipsHook({});
    }

    // Every rule of the day's check: the message shown, and whether the day
    // reached the cached output record.
    void scheduleCheck_data() {
        QTest::addColumn<QString>("periods");
        QTest::addColumn<QString>("message");  // empty: accepted
        QTest::newRow("overlap") << "08:00-12:00 11:00-13:00"
                                 << "time can not be repeated";
        QTest::newRow("touching") << "08:00-12:00 12:00-13:00"
                                  << "";
        QTest::newRow("inside") << "08:00-14:00 10:00-12:00"
                                << "time can not be repeated";
        QTest::newRow("same twice") << "08:00-12:00 08:00-12:00"
                                    << "time can not be repeated";
        QTest::newRow("until 24:00") << "20:00-24:00"
                                     << "";
        QTest::newRow("24:30") << "20:00-24:30"
                               << "Fortify time can not be more than 24:00";
        QTest::newRow("hour 25") << "25:00-25:00"
                                 << "Hour between 0 - 24";
        QTest::newRow("minute 61") << "10:61-11:00"
                                   << "Minute between 0 - 60";
        QTest::newRow("minute 60") << "10:60-11:00"
                                   << "";
        QTest::newRow("hour before minute") << "25:61-00:00"
                                            << "Hour between 0 - 24";
        QTest::newRow("backwards")
            << "10:00-09:00"
            << "Fortify start time can not be larger than the record to stop time";
        QTest::newRow("first rule per period in order")
            << "10:00-09:00 24:30-24:40"
            << "Fortify start time can not be larger than the record to stop time";
        QTest::newRow("eight periods") << "00:00-03:00 03:00-06:00 06:00-09:00 09:00-12:00 "
                                          "12:00-15:00 15:00-18:00 18:00-21:00 21:00-24:00"
                                       << "";
    }
    void scheduleCheck() {
        QFETCH(QString, periods);
        QFETCH(QString, message);
        CSubDlgAlarmCfg* page = AlarmPage();
        Child<QComboBox>(page, 562)->setCurrentIndex(2);  // Wed
        const QByteArray before =
            QByteArray(reinterpret_cast<const char*>(page->outputs()[0].bytes.data()),
                       CSubDlgAlarmCfg::kOutputBytes);
        tips_.clear();
        TypePeriods(page->schedule(), periods);
        Child<QPushButton>(page, 568)->click();
        const QByteArray after =
            QByteArray(reinterpret_cast<const char*>(page->outputs()[0].bytes.data()),
                       CSubDlgAlarmCfg::kOutputBytes);
        const int wed = CSubDlgAlarmCfg::kSchedule + 2 * CSubDlgAlarmCfg::kDayBytes;
        if (message.isEmpty()) {
            QVERIFY(tips_.isEmpty());
            std::vector<uint8_t> day(CSubDlgAlarmCfg::kDayBytes);
            PeriodsToBytes(page->schedule()->Periods(), day.data());
            QCOMPARE(
                after.mid(wed, CSubDlgAlarmCfg::kDayBytes),
                QByteArray(reinterpret_cast<const char*>(day.data()), CSubDlgAlarmCfg::kDayBytes));
        } else {
            QCOMPARE(tips_, QStringList{message});
            QCOMPARE(after, before);
        }
    }

    // Sixteen of twenty inputs are listed; "save" writes the changed
    // records only, and the device then holds what was typed; a failed
    // write keeps its record dirty and says so.
    void saveWritesChangedRecords() {
        CSubDlgAlarmCfg* page = AlarmPage();
        QCOMPARE(Child<QComboBox>(page, 553)->count(), 16);
        QCOMPARE(Child<QComboBox>(page, 558)->count(), 17);
        QCOMPARE(Child<QComboBox>(page, 560)->itemText(1), QString("AlarmOut2"));
        page->grab().save(ArtifactPath("page_alarm_ants.png", "configctrl"));
        // Input 3: new name, normal close, handling on.
        Child<QComboBox>(page, 553)->setCurrentIndex(2);
        Child<QLineEdit>(page, 569)->setText("Back door");
        Child<QComboBox>(page, 554)->setCurrentIndex(1);
        Child<QCheckBox>(page, 555)->setChecked(true);
        QVERIFY(Child<QPushButton>(page, 556)->isEnabled());
        // Output 2: Monday 07:30-18:00, copied to the whole week; hold 1 Min.
        Child<QComboBox>(page, 560)->setCurrentIndex(1);
        Child<QComboBox>(page, 562)->setCurrentIndex(0);
        TypePeriods(page->schedule(), "07:30-18:00");
        Child<QPushButton>(page, 568)->click();
        Child<QComboBox>(page, 563)->setCurrentIndex(0);
        Child<QPushButton>(page, 564)->click();
        Child<QComboBox>(page, 561)->setCurrentIndex(3);
        TakeCalls("");
        tips_.clear();
        Child<QPushButton>(page, 367)->click();
        QCOMPARE(tips_, QStringList{"Set success"});
        QCOMPARE(TakeCalls("ANTS_NET_DVR_SetDVRConfig"),
                 (QStringList{"ANTS_NET_DVR_SetDVRConfig(1,208,2,592)",
                              "ANTS_NET_DVR_SetDVRConfig(1,209,0,280)",  // days of scheduleCheck
                              "ANTS_NET_DVR_SetDVRConfig(1,209,1,280)"}));
        const QByteArray in = DeviceRecord(108, 2, 592);
        QCOMPARE(in.mid(4, 10), QByteArray("Back door\0", 10));
        QCOMPARE(in.mid(36, 2), QByteArray("\x01\x01", 2));
        const QByteArray out = DeviceRecord(109, 1, 280);
        QCOMPARE(out.mid(4, 10), QByteArray("AlarmOut2\0", 10));
        QCOMPARE(out[36], char(3));
        for (int day = 0; day < 7; ++day)
            QCOMPARE(out.mid(40 + 32 * day, 8), QByteArray("\x07\x1e\x12\x00\x00\x00\x00\x00", 8));
        // Nothing changed since: nothing written.
        TakeCalls("");
        Child<QPushButton>(page, 367)->click();
        QVERIFY(TakeCalls("ANTS_NET_DVR_SetDVRConfig").isEmpty());
        // A refused write: reported, the record stays dirty.
        Child<QLineEdit>(page, 611)->setText("Siren");
        fail_("ANTS_NET_DVR_SetDVRConfig");
        tips_.clear();
        Child<QPushButton>(page, 367)->click();
        fail_("");
        QCOMPARE(tips_, QStringList{"parameter save failed"});
        QVERIFY(page->outputs()[1].dirty);
    }

    // "Setup" and "Trigger PTZ" open the input's handling dialog; its "OK"
    // reaches the device with "save", "Cancel" changes nothing.
    void inputHandling_data() {
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("sets");  // "name=value", check boxes and PTZ rows
        QTest::addColumn<QString>("close");     // "ok" or "cancel"
        QTest::addColumn<QByteArray>("bytes");  // input record from 38, after the save
        QByteArray handled(18, 0);
        handled[0] = 2;  // upload to centre
        handled[3] = 1;  // alarm output 2
        QByteArray ptz(18 + 12, 0);
        ptz.replace(18 + 8, 2, QByteArray("\x01\x07", 2));  // channel 3: preset 7
        QTest::newRow("setup") << 3 << 556 << QStringList{"handle_upload=1", "handle_out2=1"}
                               << "ok" << handled;
        QTest::newRow("ptz") << 4 << 557 << QStringList{"ptz_action3=1", "ptz_number3=7"} << "ok"
                             << ptz;
        QTest::newRow("cancel") << 5 << 556 << QStringList{"handle_audible=1"} << "cancel"
                                << QByteArray(18, 0);
    }
    void inputHandling() {
        QFETCH(int, input);
        QFETCH(int, button);
        QFETCH(QStringList, sets);
        QFETCH(QString, close);
        QFETCH(QByteArray, bytes);
        CSubDlgAlarmCfg* page = AlarmPage();
        Child<QComboBox>(page, 553)->setCurrentIndex(input);
        Child<QCheckBox>(page, 555)->setChecked(true);
        Child<QPushButton>(page, button)->click();
        CDlgRemoteAlarmInHandle* dlg = page->handle_dialog();
        QVERIFY(dlg && dlg->isVisible());
        for (const QString& set : sets) {
            const QString name = set.section('=', 0, 0), value = set.section('=', 1);
            QWidget* w = dlg->findChild<QWidget*>(name);
            QVERIFY2(w, qPrintable(name));
            if (auto* c = qobject_cast<QCheckBox*>(w)) c->setChecked(value == "1");
            if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentIndex(value.toInt());
            if (auto* n = qobject_cast<QSpinBox*>(w)) n->setValue(value.toInt());
        }
        dlg->grab().save(ArtifactPath(QString("alarm_in_%1_ants.png").arg(button), "configctrl"));
        dlg->findChild<QPushButton*>(close)->click();
        QTRY_VERIFY(!page->handle_dialog());
        tips_.clear();
        Child<QPushButton>(page, 367)->click();
        const QByteArray rec = DeviceRecord(108, input, 592);
        QCOMPARE(rec.mid(38, bytes.size()), bytes);
        QCOMPARE(rec[37], char(1));
    }

    // Rectangles dragged over the preview land on the grid cells (a fifth
    // replaces the first); the record written holds exactly those cells,
    // the sensitivity and the schedule day; a bad schedule writes nothing.
    void motionArea_data() {
        QTest::addColumn<QList<QRect>>("drags");  // press at topLeft, release at bottomRight
        QTest::addColumn<QList<QRect>>("cells");  // x: first column, y: first row
        QTest::newRow("one") << QList<QRect>{QRect(QPoint(10, 10), QPoint(58, 42))}
                             << QList<QRect>{QRect(0, 0, 3, 2)};
        QTest::newRow("dragged backwards") << QList<QRect>{QRect(QPoint(58, 42), QPoint(10, 10))}
                                           << QList<QRect>{QRect(0, 0, 3, 2)};
        QTest::newRow("two") << QList<QRect>{QRect(QPoint(40, 40), QPoint(80, 60)),
                                             QRect(QPoint(200, 100), QPoint(250, 300))}
                             << QList<QRect>{QRect(1, 1, 3, 2), QRect(11, 5, 4, 13)};
        QTest::newRow("fifth replaces first")
            << QList<QRect>{QRect(QPoint(10, 10), QPoint(58, 42)),
                            QRect(QPoint(100, 10), QPoint(130, 30)),
                            QRect(QPoint(150, 10), QPoint(180, 30)),
                            QRect(QPoint(200, 10), QPoint(230, 30)),
                            QRect(QPoint(10, 200), QPoint(42, 232))}
            << QList<QRect>{QRect(5, 0, 2, 1), QRect(8, 0, 2, 1), QRect(11, 0, 2, 1),
                            QRect(0, 11, 2, 2)};
    }
    void motionArea() {
        QFETCH(QList<QRect>, drags);
        QFETCH(QList<QRect>, cells);
        auto* page = Window()->page<CDlgRemoteMotionDetect>();
        OpenPage(Window(), "motion detection", page);
        QCOMPARE(page->record().size(), size_t(6396));
        Child<QCheckBox>(page, 645)->setChecked(false);
        Child<QCheckBox>(page, 645)->setChecked(true);
        for (const QRect& d : drags) Drag(page->area(), d.topLeft(), d.bottomRight());
        Child<QComboBox>(page, 646)->setCurrentIndex(0);  // lowest
        Child<QComboBox>(page, 647)->setCurrentIndex(4);  // Fri
        TypePeriods(page->schedule(), "08:00-12:00 11:00-13:00");
        TakeCalls("");
        tips_.clear();
        Child<QPushButton>(page, 637)->click();
        QCOMPARE(tips_, QStringList{"time can not be repeated"});
        QVERIFY(TakeCalls("ANTS_NET_DVR_SetDVRConfig").isEmpty());
        TypePeriods(page->schedule(), "08:00-12:00 12:00-13:00");
        tips_.clear();
        Child<QPushButton>(page, 637)->click();
        QCOMPARE(tips_, QStringList{"Set success"});
        const QByteArray rec = DeviceRecord(306, 0, 6396);
        QByteArray want(64 * 96, 0);
        for (const QRect& c : cells)
            for (int r = c.top(); r <= c.bottom(); ++r)
                for (int col = c.left(); col <= c.right(); ++col) want[96 * r + col] = 1;
        QCOMPARE(rec.left(64 * 96), want);
        QCOMPARE(uchar(rec[6144]), uchar(255));
        const int fri = CDlgRemoteMotionDetect::kSchedule + 4 * CDlgRemoteMotionDetect::kDayBytes;
        QCOMPARE(rec.mid(fri, 8), QByteArray("\x08\x00\x0c\x00\x0c\x00\x0d\x00", 8));
        if (QTest::currentDataTag() == QByteArray("two")) {
            QTRY_VERIFY(page->preview()->pictures_shown() > 0);  // the live video shows
            page->grab().save(ArtifactPath("page_motion_ants.png", "configctrl"));
        }
    }

    // LangChi sensors: hidden boxes beyond the counts; edits survive a
    // switch to another sensor and back; "OK" writes them at their places.
    void sensorRecord() {
        ZynVendorEmu_Reset_t reset = nullptr;
        auto lib = vendors::VendorLibrary::Open("NetClient");
        QVERIFY(lib && lib->Get("ZynVendorEmu_Reset", &reset));
        reset(
            "camsearch ip=127.0.0.41 name=LC-1 data_port=5000 channels=2 alarm_in=3 alarm_out=1 "
            "user=570431 password=570431\n");
        CZynConFigCtrlCtrl ctrl;
        ctrl.resize(960, 700);
        ctrl.show();
        QVERIFY(ctrl.LoginDevice("lc", "127.0.0.41", 5000, "570431", "570431", kDeviceTypeLangChi));
        auto* page = ctrl.window()->page<CSensorParamDialog>();
        OpenPage(ctrl.window(), "sensor alarm", page);
        QVERIFY(Child<QCheckBox>(page, 531)->isVisibleTo(page));
        QVERIFY(!Child<QCheckBox>(page, 532)->isVisibleTo(page));
        QVERIFY(!Child<QCheckBox>(page, 535)->isVisibleTo(page));
        QCOMPARE(Child<QComboBox>(page, 493)->count(), 3);
        QCOMPARE(Child<QComboBox>(page, 495)->currentText(), QString("close"));
        // Sensor 2: row 3 "Mon To Fri" 7:30-18:05, records channel 2, output 1,
        // preset 12 on channel 2.
        Child<QComboBox>(page, 493)->setCurrentIndex(1);
        Child<QComboBox>(page, 497)->setCurrentIndex(7);
        const char* times[4] = {"7", "30", "18", "5"};
        for (int f = 0; f < 4; ++f) Child<QLineEdit>(page, 504 + 7 * f)->setText(times[f]);
        Child<QCheckBox>(page, 531)->setChecked(true);
        Child<QCheckBox>(page, 534)->setChecked(true);
        auto* presets = Child<QComboBox>(page, 538);
        presets->setCurrentIndex(1);
        emit presets->activated(1);
        Child<QCheckBox>(page, 539)->setChecked(true);
        Child<QLineEdit>(page, 540)->setText("12");
        Child<QComboBox>(page, 493)->setCurrentIndex(0);
        Child<QComboBox>(page, 493)->setCurrentIndex(1);
        QCOMPARE(Child<QLineEdit>(page, 504)->text(), QString("07"));
        QVERIFY(Child<QCheckBox>(page, 531)->isChecked());
        Child<QCheckBox>(page, 494)->setChecked(true);
        page->grab().save(ArtifactPath("page_sensor_langchi.png", "configctrl"));
        Child<QPushButton>(page, 541)->click();
        QByteArray rec(1092, 0);
        auto* dev = dynamic_cast<CLangChiDevice*>(ctrl.window()->device());
        QVERIFY(dev->LangChiConfig(0, 10, 0, reinterpret_cast<intptr_t>(rec.data()), 1092, 0));
        const int s = 136;
        QCOMPARE(rec.left(4), QByteArray("\x01\0\0\0", 4));
        QCOMPARE(rec.mid(s + 84 + 16, 5), QByteArray("\x07\x1e\x12\x05\x07", 5));
        QCOMPARE(rec.mid(s + 12, 4), QByteArray("\0\x01\0\0", 4));
        QCOMPARE(rec.mid(s + 28, 4), QByteArray("\x01\0\0\0", 4));
        QCOMPARE(rec[s + 36 + 1], char(1));
        QCOMPARE(rec[s + 52 + 1], char(12));
        QCOMPARE(rec.mid(84, 5), QByteArray("\0\0\0\0\x0a", 5));  // sensor 1 untouched rows: close
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    AlarmPagesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "alarm_pages_test.moc"
