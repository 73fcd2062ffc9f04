// The configuration window and the control: the page tree for each device
// type, the switch protocol, MoveWindow's argument order, the language
// files, and the order of teardown. Runs under Xvfb when a display is there
// and leaves a screenshot per device type in artifacts/configctrl; offscreen
// otherwise.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/control/zyn_config_ctrl.h"
#include "configctrl/device/device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_tree.h"
#include "configctrl/window/pages/category_pages.h"
#include "configctrl/window/pages/device_base_dlg.h"
#include "configctrl/window/pages/time_setting_dlg.h"
#include "tools/devsim/devsim.h"
#include "tools/devsim/qv_device.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;
using page_test::ArtifactPath;

namespace {

// A device of any type that only records what the window asks of it.
class FakeDevice : public CDevice {
public:
    FakeDevice(int type, QStringList* log) : CDevice(type), log_(log) { set_logged_in(true); }
    ~FakeDevice() override { *log_ << "deleted"; }
    int StopRealPlay(int ch) override {
        *log_ << QString("stop %1").arg(ch);
        return 0;
    }
    int Logout(int) override {
        set_logged_in(false);
        *log_ << "logout";
        return 1;
    }

private:
    QStringList* log_;
};

std::unique_ptr<CFrontSetDialog> MakeWindow(int type, QStringList* log) {
    auto w = std::make_unique<CFrontSetDialog>(nullptr);
    if (type == kDeviceTypeZyn || type == kDeviceTypeLangChi || type == kDeviceTypeAnts ||
        type == kDeviceTypeQv)
        w->SetDevice(std::make_unique<FakeDevice>(type, log), type);
    else
        w->SetDevice(nullptr, type);
    w->Create();
    return w;
}

// "depth text class" for every item, in tree order.
QStringList TreeLines(const ClrTreeCtrlEx* tree) {
    QStringList lines;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        CDialogEx* page = ClrTreeCtrlEx::PageOf(item);
        lines << QString("%1 %2 %3")
                     .arg(depth)
                     .arg(item->text(0))
                     .arg(page ? QString(page->metaObject()->className()).section("::", -1) : "-");
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i), 0);
    return lines;
}

void ClickItem(ClrTreeCtrlEx* tree, const QString& text) {
    QTreeWidgetItem* item = tree->FindItem(text);
    QVERIFY2(item, qPrintable(text));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList VendorCalls(const char* library) {
    auto lib = vendors::VendorLibrary::Open(library);
    ZynVendorEmu_Calls_t calls = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Calls", &calls)) return {};
    QByteArray buf(calls(nullptr, 0), '\0');
    calls(buf.data(), int(buf.size()));
    return QString::fromLatin1(buf.constData()).split('\n', Qt::SkipEmptyParts);
}

// Resets an emulated vendor library to its built-in devices and makes the
// named calls fail.
bool ResetVendor(const char* library, const char* failing) {
    auto lib = vendors::VendorLibrary::Open(library);
    ZynVendorEmu_Reset_t reset = nullptr;
    ZynVendorEmu_Fail_t fail = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Reset", &reset) || !lib->Get("ZynVendorEmu_Fail", &fail))
        return false;
    reset(
        "ants ip=127.0.0.71 name=ANTS-NVR-1 data_port=8000 channels=4 alarm_in=4 alarm_out=2 "
        "user=admin password=12345\n"
        "camsearch ip=127.0.0.41 name=LC-1 data_port=5000 channels=2 alarm_in=3 alarm_out=1 "
        "user=570431 password=570431\n");
    fail(failing);
    return true;
}

const QStringList kCommonBasic = {"0 Basic settings CBaseDialog", "1 Device info CDeviceBaseDlg",
                                  "1 time setting CTimeSettingDlg",
                                  "1 device manage CDeviceManagerDlg"};
const QStringList kCommonNetwork = {
    "0 network settings CNetSetDlg", "1 IP address and port CNetIPParamDlg",
    "1 Wireless settings CWifiSetDlg", "1 DDNS settings CDdnsSettingDlg",
    "1 transport protocol CStreamProtocolDlg"};

}  // namespace

class ConfigWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetDictionary(nullptr); }

    void treeByDeviceType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("lines");
        const QString user = "1 user manage CUserManagerDlg";
        QStringList qv =
            kCommonBasic + kCommonNetwork +
            QStringList{"0 Channel parameter CPictureSetDlg",
                        "1 Character overlay CVideoParamDialog", "1 video coding CVideoCodingDlg",
                        "0 Alarm settings CAlarmSetDlg"};
        // Own-protocol devices also get sensors, motion and timed recording.
        QTest::newRow("own") << 1
                             << QStringList{kCommonBasic[0], user} + qv.mid(1) +
                                    QStringList{"1 sensor alarm CSensorParamDialog",
                                                "1 motion detection CDlgRemoteMotionDetect",
                                                "0 Storage settings CSaveDialog",
                                                "1 Timer Record CTimeRecordDlg"};
        QTest::newRow("qv") << 10 << qv;
        QTest::newRow("none") << 99 << qv;
        QTest::newRow("langchi") << 2
                                 << QStringList{kCommonBasic[0], user} + kCommonBasic.mid(1) +
                                        kCommonNetwork +
                                        QStringList{"1 Ftp settings CFtpNetSetTing",
                                                    "0 Channel parameter CPictureSetDlg",
                                                    "1 Character overlay CVideoParamDialog",
                                                    "1 video coding CVideoCodingDlg",
                                                    "1 PTZ protocol CDlgSerialCfg",
                                                    "0 Alarm settings CAlarmSetDlg",
                                                    "1 sensor alarm CSensorParamDialog",
                                                    "1 motion detection CMotionParamDialog",
                                                    "0 Storage settings CSaveDialog",
                                                    "1 Timer Record CTimeRecordDlg",
                                                    "1 Ftp record CFtpRecoderDlg",
                                                    "1 Storage devices CStorageDeviceDlg"};
        QTest::newRow("ants") << 3
                              << QStringList{kCommonBasic[0], user} + kCommonBasic.mid(1) +
                                     QStringList{"1 IP Chan Manage CDlgRemoteIPAccess"} +
                                     kCommonNetwork +
                                     QStringList{"0 Channel parameter CPictureSetDlg",
                                                 "1 Character overlay CVideoParamDialog",
                                                 "1 video coding CVideoCodingDlg",
                                                 "0 Alarm settings CAlarmSetDlg",
                                                 "1 sensor alarm CSubDlgAlarmCfg",
                                                 "1 motion detection CDlgRemoteMotionDetect",
                                                 "0 Storage settings CSaveDialog",
                                                 "1 Disk Management CDlgHardDiskCfg"};
    }
    void treeByDeviceType() {
        QFETCH(int, type);
        QFETCH(QStringList, lines);
        QStringList log;
        auto w = MakeWindow(type, &log);
        QCOMPARE(TreeLines(w->tree()), lines);

        // Every page exists, hidden, in its order, named after its dialog.
        QStringList names;
        for (CDialogEx* p : w->pages()) {
            names << p->objectName();
            QVERIFY(!p->isVisibleTo(w.get()));
        }
        QCOMPARE(names.join(' '),
                 QString("dlg202 dlg204 dlg203 dlg206 dlg207 dlg308 dlg210 dlg211 dlg212 dlg213 "
                         "dlg215 dlg214 dlg216 dlg217 dlg653 dlg219 dlg220 dlg221 dlg222 dlg224 "
                         "dlg652 dlg226 dlg685 dlg228 dlg701 dlg229 dlg230"));
        QVERIFY(ClrTreeCtrlEx::IsGroup(w->tree()->topLevelItem(0)));
        QVERIFY(ClrTreeCtrlEx::IconPathOf(w->tree()->topLevelItem(0)).endsWith("/res/shebei.png"));

        // With a device "Device info" opens at once; without one nothing does.
        w->show();
        CDialogEx* info = w->page<CDeviceBaseDlg>();
        if (w->device()) {
            QTRY_VERIFY(info->isVisible());
            QCOMPARE(info->geometry(), w->PageRect());
            QCOMPARE(w->tree()->selected_item()->text(0), QString("Device info"));
        } else {
            QCoreApplication::processEvents();
            QCOMPARE(w->visible_page(), nullptr);
        }
        ClickItem(w->tree(), "time setting");
        QTRY_COMPARE(w->visible_page(), w->page<CTimeSettingDlg>());
    }

    // The login sequence through the control, against the emulator and the
    // emulated vendor libraries: the counts the window keeps and the channel
    // count the device is told (0 when the count query fails).
    void loginSequence_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<bool>("logged_in");
        QTest::addColumn<QList<int>>("counts");  // channels, alarm inputs, alarm outputs
        QTest::newRow("own") << 1 << QByteArray("admin") << QByteArray() << true
                             << QList<int>{1, 1, 1};
        QTest::newRow("own refused")
            << 1 << QByteArray("wrong") << QByteArray() << false << QList<int>{0, 0, 0};
        QTest::newRow("langchi") << 2 << QByteArray("570431") << QByteArray() << true
                                 << QList<int>{2, 3, 1};
        QTest::newRow("langchi count fails")
            << 2 << QByteArray("570431") << QByteArray("NetClient_Ord126") << true
            << QList<int>{0, 0, 0};
        QTest::newRow("ants") << 3 << QByteArray("12345") << QByteArray() << true
                              << QList<int>{4, 4, 2};
        QTest::newRow("ants count fails")
            << 3 << QByteArray("12345") << QByteArray("ANTS_NET_DVR_GetDVRConfig") << true
            << QList<int>{0, 0, 0};
        QTest::newRow("ants refused")
            << 3 << QByteArray("nope") << QByteArray() << false << QList<int>{0, 0, 0};
        QTest::newRow("qv") << 10 << QByteArray("vupra") << QByteArray() << true
                            << QList<int>{3, 5, 2};
    }
    void loginSequence() {
        QFETCH(int, type);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, failing);
        QFETCH(bool, logged_in);
        QFETCH(QList<int>, counts);
        QVERIFY(ResetVendor("AntsNetSDK", type == 3 ? failing.constData() : ""));
        QVERIFY(ResetVendor("NetClient", type == 2 ? failing.constData() : ""));
        QByteArray address = "127.0.0.1", user = "admin";
        int port = 0;
        std::unique_ptr<devsim::Emulator> own;
        std::unique_ptr<devsim::QvEmulator> qv;
        std::string error;
        if (type == 1) {
            devsim::Config cfg;
            cfg.devices.resize(1);
            cfg.devices[0].channel_count = 1;
            cfg.devices[0].main = {160, 120, 5, 64, 5, 1};
            cfg.devices[0].sub = {160, 120, 5, 64, 5, 1};
            own = std::make_unique<devsim::Emulator>(cfg);
            QVERIFY2(own->Start(&error), error.c_str());
            port = own->device(0).control_port();
        } else if (type == 10) {
            devsim::QvDeviceConfig c;
            c.cam_count = 3;
            c.alarm_in = 5;
            c.alarm_out = 2;
            qv =
                std::make_unique<devsim::QvEmulator>(std::vector<devsim::QvDeviceConfig>{c}, false);
            QVERIFY2(qv->Start(&error), error.c_str());
            port = qv->port(0);
        } else if (type == 2) {
            address = "127.0.0.41", user = "570431", port = 5000;
        } else {
            address = "127.0.0.71", port = 8000;
        }

        auto ctrl = std::make_unique<CZynConFigCtrlCtrl>();
        ctrl->resize(400, 300);
        ctrl->show();
        QVERIFY(ctrl->LoginDevice("camera", address, port, user, password, type));
        CFrontSetDialog* w = ctrl->window();
        QVERIFY(w->device());
        QCOMPARE(w->device()->logged_in(), logged_in);
        QCOMPARE((QList<int>{w->channel_count(), w->alarm_in_count(), w->alarm_out_count()}),
                 counts);
        QCOMPARE(w->device()->GetChannelCount(), counts[0]);
        QTRY_VERIFY(w->page<CDeviceBaseDlg>()->isVisible());
        if (logged_in && failing.isEmpty()) {
            ctrl->MoveWindow(0, 960, 0, 700);
            QTRY_COMPARE(w->size(), QSize(960, 700));
            w->grab().save(ArtifactPath(QString("window_type%1.png").arg(type), "configctrl"));
        }
        if (own) QCOMPARE(own->device(0).LoggedInSessions(), logged_in ? 1 : 0);
        ctrl.reset();  // logs out
        if (own) QTRY_COMPARE(own->device(0).LoggedInSessions(), 0);
    }

    // A second click on the selected item hides and shows its page and
    // activates it again; Enter and Escape leave the page open.
    void clickTwiceReactivates() {
        QStringList log;
        auto w = MakeWindow(kDeviceTypeZyn, &log);
        w->show();
        CDialogEx* info = w->page<CDeviceBaseDlg>();
        QTRY_COMPARE(info->activation_count(), 1);
        CDialogEx* time = w->page<CTimeSettingDlg>();
        ClickItem(w->tree(), "time setting");
        QTRY_COMPARE(time->activation_count(), 1);
        QVERIFY(!info->isVisible());
        ClickItem(w->tree(), "time setting");
        QTRY_COMPARE(time->activation_count(), 2);
        QVERIFY(time->isVisible());
        QCOMPARE(info->activation_count(), 1);
        QTest::keyClick(time, Qt::Key_Escape);
        QTest::keyClick(time, Qt::Key_Return);
        QVERIFY(time->isVisible());
        QVERIFY(w->isVisible());

        // "Basic settings": a title button folds its group and unfolds it.
        ClickItem(w->tree(), "Basic settings");
        auto* base = w->page<CBaseDialog>();
        QTRY_VERIFY(base->isVisible());
        auto* title = base->findChild<QPushButton*>("ctl332");
        QVERIFY(title);
        title->click();
        QVERIFY(!base->IsGroupExpanded(CBaseDialog::kDeviceNameButton));
        QVERIFY(base->IsGroupExpanded(CBaseDialog::kTimeButton));
        title->click();
        QVERIFY(base->IsGroupExpanded(CBaseDialog::kDeviceNameButton));
    }

    // Live video stops on every channel before the logout, and the device
    // goes after it.
    void teardownStopsLiveBeforeLogout() {
        QStringList log;
        MakeWindow(kDeviceTypeAnts, &log).reset();
        QCOMPARE(log.size(), kMaxChannels + 2);
        QCOMPARE(log.first(), QString("stop 0"));
        QCOMPARE(log[kMaxChannels - 1], QString("stop 31"));
        QCOMPARE(log.mid(kMaxChannels), (QStringList{"logout", "deleted"}));
    }

    // An ANTS device playing live: its lost connection reaches the window on
    // the GUI thread (stream lost per channel, then connection lost); the
    // teardown stops the play before the logout.
    void vendorEventsQueuedAndTeardownOrder() {
        QVERIFY(ResetVendor("AntsNetSDK", ""));
        auto ctrl = std::make_unique<CZynConFigCtrlCtrl>();
        QVERIFY(ctrl->LoginDevice("nvr", "127.0.0.71", 8000, "admin", "12345", 3));
        CFrontSetDialog* w = ctrl->window();
        QVERIFY(w->device()->logged_in());
        QVERIFY(w->device()->RealPlay(0, 0, 0, 0));
        QList<int> events;
        connect(w, &CFrontSetDialog::DeviceEvent, this, [&](int event, const QByteArray&) {
            QCOMPARE(QThread::currentThread(), qApp->thread());
            events << event;
        });
        auto lib = vendors::VendorLibrary::Open("AntsNetSDK");
        ZynVendorEmu_Event_t event = nullptr;
        QVERIFY(lib->Get("ZynVendorEmu_Event", &event));
        QCOMPARE(event(2, 0x9000), 1);
        QTRY_COMPARE(events, (QList<int>{4, 4, 4, 4, 2}));
        QVERIFY(!w->device()->logged_in());  // the exception logged it out

        QVERIFY(ResetVendor("AntsNetSDK", ""));
        ctrl = std::make_unique<CZynConFigCtrlCtrl>();
        QVERIFY(ctrl->LoginDevice("nvr", "127.0.0.71", 8000, "admin", "12345", 3));
        QVERIFY(ctrl->window()->device()->RealPlay(1, 0, 0, 0));
        ctrl.reset();
        const QStringList calls = VendorCalls("AntsNetSDK");
        int stop = -1, logout = -1;
        for (int i = 0; i < calls.size(); ++i) {
            if (calls[i].startsWith("ANTS_NET_DVR_StopRealPlay(")) stop = i;
            if (calls[i].startsWith("ANTS_NET_DVR_Logout(")) logout = i;
        }
        QVERIFY2(stop >= 0 && logout > stop, qPrintable(calls.join('\n')));
    }

    // MoveWindow takes left, right, top, bottom; an unknown type opens the
    // window without a device; a second LoginDevice replaces the window.
    void controlMoveWindowAndRelogin() {
        CZynConFigCtrlCtrl ctrl;
        ctrl.resize(300, 200);
        ctrl.show();
        QVERIFY(ctrl.LoginDevice("cam", "127.0.0.1", 1, "admin", "admin", 7));
        CFrontSetDialog* first = ctrl.window();
        QVERIFY(first->isVisible());
        QCOMPARE(first->device(), nullptr);
        QCOMPARE(first->device_type(), 7);
        ctrl.MoveWindow(10, 110, 20, 220);
        QTRY_COMPARE(first->geometry(), QRect(10, 20, 100, 200));
        QPointer<CFrontSetDialog> gone(first);
        QVERIFY(ctrl.LoginDevice("cam", "127.0.0.1", 1, "admin", "admin", 4));
        QVERIFY(gone.isNull());
        QCOMPARE(ctrl.window()->device_type(), 4);
        QCOMPARE(ctrl.window()->tree()->topLevelItemCount(), 4);
        QVERIFY(CZynConFigCtrlCtrl::AboutText().contains("{54EEDA6F-33CE-4D2A-9FC1-E5CA742C82F5}"));
    }

    void languageFiles_data() {
        QTest::addColumn<QByteArray>("settings");  // Vexora.ini; empty: none
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray section = "[LanguageType]\r\nLanguage=";
        QTest::newRow("0 never translates")
            << section + "0"
            << "language.ini" << QByteArray("Device info=Geraet\n") << QByteArray("Device info")
            << QByteArray("Device info");
        QTest::newRow("no settings file is 0")
            << QByteArray() << "language.ini" << QByteArray("Device info=Geraet\n")
            << QByteArray("Device info") << QByteArray("Device info");
        // Language 1's bytes are taken as they stand (here not even UTF-8).
        QTest::newRow("1 unconverted")
            << section + "1"
            << "Front_China.ini" << QByteArray("time setting=\xCA\xB1\xBC\xE4\r\n")
            << QByteArray("time setting") << QByteArray("\xCA\xB1\xBC\xE4");
        QTest::newRow("2 UTF-8")
            << section + "2"
            << "qxr_French.ini"
            << QByteArray("\xEF\xBB\xBFx=y\nDevice info=Infos de l'appareil \xC3\xA9\n")
            << QByteArray("Device info") << QByteArray("Infos de l'appareil \xC3\xA9");
        QTest::newRow("2 first key after the byte-order mark")
            << section + "2"
            << "qxr_French.ini" << QByteArray("\xEF\xBB\xBFx=y\n") << QByteArray("x")
            << QByteArray("y");
        QTest::newRow("3 later line wins, case matters")
            << section + "3"
            << "qxr_Turkey.ini" << QByteArray("time=saat\ntime=zaman\nTime=X\nno equals sign\n")
            << QByteArray("time") << QByteArray("zaman");
        QTest::newRow("3 line without = under the empty key")
            << section + "3"
            << "qxr_Turkey.ini" << QByteArray("a=b\nno equals sign\n") << QByteArray("")
            << QByteArray("no equals sign");
        QTest::newRow("other number is 0") << section + "9"
                                           << "language.ini" << QByteArray("time=saat\n")
                                           << QByteArray("time") << QByteArray("time");
        QTest::newRow("missing language file") << section + "2"
                                               << "qxr_Turkey.ini" << QByteArray("time=saat\n")
                                               << QByteArray("time") << QByteArray("time");
        QTest::newRow("cut at 255 bytes") << section + "2"
                                          << "qxr_French.ini"
                                          << "k=" + QByteArray(300, 'v') + "\n"
                                          << QByteArray("k") << QByteArray(255, 'v');
    }
    void languageFiles() {
        QFETCH(QByteArray, settings);
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        if (!settings.isEmpty()) WriteFile(dir.filePath("Vexora.ini"), settings + "\r\n");
        WriteFile(dir.filePath(file), content);
        auto d = std::make_unique<LanguageDictionary>();
        d->Load(dir.path().toStdString());
        SetDictionary(std::move(d));
        QCOMPARE(QByteArray::fromStdString(TranslateText(key.toStdString())), expected);
    }

    // The window's texts go through the dictionary.
    void windowTextsTranslated() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("Vexora.ini"), "[LanguageType]\nLanguage=2\n");
        WriteFile(dir.filePath("qxr_French.ini"),
                  "Device info=Infos\nuser management=Utilisateurs\n");
        auto d = std::make_unique<LanguageDictionary>();
        d->Load(dir.path().toStdString());
        SetDictionary(std::move(d));
        QStringList log;
        auto w = MakeWindow(kDeviceTypeZyn, &log);
        QVERIFY(w->tree()->FindItem("Infos"));
        QCOMPARE(w->page<CBaseDialog>()->findChild<QPushButton*>("ctl331")->text(),
                 QString("Utilisateurs"));
        QTRY_VERIFY(w->page<CDeviceBaseDlg>()->isVisibleTo(w.get()));
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    ConfigWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "configctrl_window_test.moc"
