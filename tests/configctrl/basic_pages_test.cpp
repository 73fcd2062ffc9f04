// The basic settings and network pages against the emulated vendor
// libraries and the emulator's QV device: what a save writes is read back
// from the device's record; the firmware dialogs run to their end state;
// one picture per page and vendor goes to artifacts/configctrl/pages.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_tree.h"
#include "configctrl/window/pages/device_manager_dlg.h"
#include "configctrl/window/pages/time_setting_dlg.h"
#include "configctrl/window/pages/wifi_set_dlg.h"
#include "configctrl/window/tips_box.h"
#include "tools/devsim/qv_device.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;
using page_test::ArtifactPath;
using page_test::SetControl;

namespace {

const char* kDevices =
    "ants ip=127.0.0.71 name=ANTS-NVR-1 serial=SN71 data_port=8000 channels=4 alarm_in=4 "
    "alarm_out=2 user=admin password=12345 upgrade_ms=300\n"
    "camsearch ip=127.0.0.41 name=LC-1 data_port=5000 channels=2 alarm_in=3 alarm_out=1 "
    "user=570431 password=570431 upgrade_ms=300\n";

template <typename Fn>
Fn Resolve(const char* library, const char* name) {
    auto lib = vendors::VendorLibrary::Open(library);
    Fn fn = nullptr;
    if (lib) lib->Get(name, &fn);
    return fn;
}

QByteArray LastBlock(const char* library) {
    auto fn = Resolve<ZynVendorEmu_LastBlock_t>(library, "ZynVendorEmu_LastBlock");
    QByteArray b(fn ? fn(nullptr, 0) : 0, '\0');
    if (fn) fn(b.data(), static_cast<int>(b.size()));
    return b;
}

QString Calls(const char* library) {
    auto fn = Resolve<ZynVendorEmu_Calls_t>(library, "ZynVendorEmu_Calls");
    QByteArray b(fn ? fn(nullptr, 0) : 0, '\0');
    if (fn) fn(b.data(), static_cast<int>(b.size()));
    return QString::fromLatin1(b);
}

// The device's record read anew (command 0: the ANTS RTSP record).
QByteArray DeviceRecord(CDevice* d, int type, uint32_t command, int size) {
    QByteArray b(size, '\0');
    bool ok = false;
    if (type == kDeviceTypeLangChi)
        ok = static_cast<CLangChiDevice*>(d)->LangChiConfig(0, static_cast<int>(command), 0,
                                                            reinterpret_cast<intptr_t>(b.data()),
                                                            size, 0) != 0;
    else if (type == kDeviceTypeAnts && command == 0)
        ok = static_cast<CANTSDevice*>(d)->GetRtspConfig(b.data(), size) != 0;
    else if (type == kDeviceTypeAnts)
        ok = static_cast<CANTSDevice*>(d)->GetDVRConfig(static_cast<int>(command), 0, b.data(),
                                                        size, nullptr) != 0;
    else if (type == kDeviceTypeQv) {
        int32_t n = size;
        std::memcpy(b.data(), &n, 4);
        ok = static_cast<CQVDevice*>(d)->GetQVConfig(0, command, 0, b.data(), size, nullptr) == 0;
    }
    return ok ? b : QByteArray();
}

// "text", "u8", "u16" or "i32" at an offset of a record.
QString Field(const QByteArray& rec, const QString& kind, int at) {
    if (kind == "text") return QString::fromLatin1(rec.constData() + at);
    uint32_t v = 0;
    const int n = kind == "u8" ? 1 : kind == "u16" ? 2 : 4;
    for (int i = 0; i < n; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(rec[at + i])) << 8 * i;
    return QString::number(n == 4 ? static_cast<int32_t>(v) : static_cast<int>(v));
}

}  // namespace

class BasicPagesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<devsim::QvEmulator> qv_;
    QStringList tips_;  // texts of the message box, answered with Yes
    std::unique_ptr<CFrontSetDialog> window_;

    // A logged-in window for a vendor, against freshly reset emulations.
    CFrontSetDialog* Open(int type) {
        window_.reset();
        Resolve<ZynVendorEmu_Reset_t>("AntsNetSDK", "ZynVendorEmu_Reset")(kDevices);
        Resolve<ZynVendorEmu_Reset_t>("NetClient", "ZynVendorEmu_Reset")(kDevices);
        qv_ = std::make_unique<devsim::QvEmulator>(std::vector<devsim::QvDeviceConfig>(1), false);
        std::string error;
        if (!qv_->Start(&error)) qWarning("%s", error.c_str());
        std::unique_ptr<CDevice> d = CreateDevice(type);
        const bool lc = type == kDeviceTypeLangChi, ants = type == kDeviceTypeAnts;
        const char* ip = lc ? "127.0.0.41" : ants ? "127.0.0.71" : "127.0.0.1";
        d->SetDeviceName("dev");
        d->SetAddress(ip);
        d->SetHostName(ip);
        d->SetPort(lc ? 5000 : ants ? 8000 : qv_->port(0));
        d->SetUserName(lc ? "570431" : "admin");
        d->SetPassword(lc ? "570431" : ants ? "12345" : "vupra");
        if (!d->Login()) qWarning("login failed");
        window_ = std::make_unique<CFrontSetDialog>(nullptr);
        window_->SetDevice(std::move(d), type);
        window_->Create();
        window_->resize(qRound(CFrontSetDialog::kWidthDlu * CFrontSetDialog::DluX()),
                        qRound(CFrontSetDialog::kHeightDlu * CFrontSetDialog::DluY()));
        window_->show();
        tips_.clear();
        return window_.get();
    }
    CDialogEx* ShowPage(const QString& name) {
        auto* page = window_->findChild<CDialogEx*>(name);
        if (page) window_->SwitchPage(window_->visible_page(), page);
        return page;
    }

private slots:
    void initTestCase() {
        CRHYesNoToAllDialog::SetHook([this](const QString& text, CRHYesNoToAllDialog::Buttons) {
            tips_ << text;
            return true;
        });
    }
    void cleanupTestCase() {
        window_.reset();
        CRHYesNoToAllDialog::SetHook(nullptr);
    }

    // Each row: set controls on a page, press its button, read the record
    // anew from the device and compare fields; the message box's texts.
    void saveReachesDevice_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("shown");     // "control=text" after the first read
        QTest::addColumn<QStringList>("controls");  // "control=value"
        QTest::addColumn<QString>("button");
        QTest::addColumn<uint>("command");  // record read back
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("fields");  // "kind@offset=value"
        QTest::addColumn<QStringList>("tips");
        const int lc = kDeviceTypeLangChi, ants = kDeviceTypeAnts, qv = kDeviceTypeQv;
        const QString a40(40, 'a'), p20(20, 'p');
        const QStringList ok{"Set success"}, none;

        QTest::newRow("info lc: name cut at 24")
            << lc << "dlg211" << QStringList{"ctl228=LC-1"} << QStringList{"ctl228=" + a40}
            << "ctl281" << 6u << 376 << QStringList{"text@0=" + a40.left(23)} << none;
        QTest::newRow("info ants")
            << ants << "dlg211" << QStringList{"ctl228=ANTS-NVR-1", "ctl276=SN71"}
            << QStringList{"ctl228=Hall " + a40} << "ctl281" << 101u << 180
            << QStringList{"text@4=Hall " + a40.left(26)} << none;
        QTest::newRow("info qv: name written to the channel-name record")
            << qv << "dlg211" << QStringList{} << QStringList{"ctl228=Gate"} << "ctl281"
            << 0x10000009u << 60 << QStringList{"text@8=Gate", "i32@4=0"} << none;
        QTest::newRow("users lc: six fields, second password at 100")
            << lc << "dlg210" << QStringList{"ctl209=570431"}
            << QStringList{"ctl209=boss", "ctl211=b1", "ctl213=b1", "ctl215=u1", "ctl217=p1",
                           "ctl219=p1",   "ctl221=u2", "ctl223=p2", "ctl225=p2"}
            << "ctl226" << 29u << 840 << QStringList{"text@0=boss", "text@20=b1", "text@40=u1",
                                                     "text@60=p1",  "text@80=u2", "text@100=p2"}
            << ok;
        QTest::newRow("users: mismatch sends nothing")
            << ants << "dlg210" << QStringList{}
            << QStringList{"ctl209=eve", "ctl217=a", "ctl219=b"} << "ctl226" << 113u << 3268
            << QStringList{"text@4=admin"}
            << QStringList{"username or password is error , please input again!"};
        QTest::newRow("users ants: names cut at 31, passwords at 15")
            << ants << "dlg210" << QStringList{"ctl209=admin", "ctl211=12345"}
            << QStringList{"ctl209=" + a40, "ctl211=" + p20, "ctl213=" + p20,
                           "ctl221=u2",     "ctl223=x",      "ctl225=x"}
            << "ctl226" << 113u << 3268
            << QStringList{"text@4=" + a40.left(31), "text@36=" + p20.left(15), "text@820=u2",
                           "text@852=x"}
            << ok;
        QTest::newRow("time ants manual")
            << ants << "dlg212" << QStringList{}
            << QStringList{"ctl285=1", "ctl284=2031-02-03", "ctl282=04:05:06"} << "ctl244" << 110u
            << 24
            << QStringList{"i32@0=2031", "i32@4=2", "i32@8=3", "i32@12=4", "i32@16=5", "i32@20=6"}
            << none;
        QTest::newRow("time lc manual")
            << lc << "dlg212" << QStringList{}
            << QStringList{"ctl285=1", "ctl284=2031-02-03", "ctl282=04:05:06"} << "ctl244" << 25u
            << 10 << QStringList{"i32@0=2031", "u8@4=2", "u8@5=3", "u8@7=4", "u8@8=5", "u8@9=6"}
            << none;
        QTest::newRow("time qv: server synchronization sends nothing")
            << qv << "dlg212" << QStringList{}
            << QStringList{"ctl288=1", "ctl284=2031-02-03", "ctl282=04:05:06"} << "ctl244"
            << 0x10000004u << 76
            << QStringList{"i32@4=" + QString::number(QDate::currentDate().year())} << none;
        QTest::newRow("ip lc") << lc << "dlg213" << QStringList{"ctl248=5000"}
                               << QStringList{"ctl241=10.0.0.9", "ctl246=255.255.0.0",
                                              "ctl248=5100", "ctl253=9000", "ctl249=8080"}
                               << "ctl281" << 6u << 376
                               << QStringList{"text@24=10.0.0.9", "text@40=255.255.0.0",
                                              "u16@104=5100", "u16@106=9000", "u16@108=8080"}
                               << ok;
        QTest::newRow("ip lc pppoe")
            << lc << "dlg213" << QStringList{}
            << QStringList{"ctl240=#1", "ctl290=dialer", "ctl292=secret"} << "ctl281" << 55u << 132
            << QStringList{"i32@0=1", "text@4=dialer", "text@68=secret"} << ok;
        QTest::newRow("ip ants") << ants << "dlg213" << QStringList{}
                                 << QStringList{"ctl241=10.0.0.7", "ctl243=10.0.0.1",
                                                "ctl244=10.0.0.2", "ctl248=8001",
                                                "ctl249=81",       "ctl290=" + a40}
                                 << "ctl281" << 102u << 1956
                                 << QStringList{"text@4=10.0.0.7",    "text@1552=10.0.0.1",
                                                "text@1052=10.0.0.2", "u16@296=8001",
                                                "u16@1406=81",        "text@1700=" + a40.left(31)}
                                 << ok;
        QTest::newRow("ip qv: short address keeps the rest")
            << qv << "dlg213" << QStringList{"ctl241=127.0.0.1"}
            << QStringList{"ctl241=10.2", "ctl246=255.255.255.0", "ctl249=8081"} << "ctl281"
            << 0x10000021u << 188
            << QStringList{"i32@8=10", "i32@12=2", "i32@16=0",     "i32@20=1",
                           "i32@36=0", "i32@4=2",  "i32@152=8081", "i32@184=1"}
            << ok;
        QTest::newRow("ddns lc") << lc << "dlg215" << QStringList{}
                                 << QStringList{"ctl270=cam.example.org", "ctl271=me", "ctl272=pw"}
                                 << "ctl296" << 78u << 100
                                 << QStringList{"text@48=cam.example.org", "text@8=me",
                                                "text@28=pw"}
                                 << ok;
        QTest::newRow("ddns ants: third entry is provider 1")
            << ants << "dlg215" << QStringList{}
            << QStringList{"ctl267=#2", "ctl270=x.dyndns.org", "ctl271=me", "ctl272=" + a40}
            << "ctl296" << 142u << 1900
            << QStringList{"u8@0=1", "u8@1=1", "text@52=x.dyndns.org", "text@116=me",
                           "text@36=" + a40.left(15)}
            << ok;
        QTest::newRow("ddns ants: disable clears the enable byte")
            << ants << "dlg215" << QStringList{} << QStringList{"ctl267=#3", "ctl267=#0"}
            << "ctl296" << 142u << 1900 << QStringList{"u8@0=0", "u8@1=2"} << ok;
        QTest::newRow("ddns qv: read only")
            << qv << "dlg215" << QStringList{"ctl270=zyn.example.net", "ctl271=zynuser"}
            << QStringList{} << "ctl296" << 0x10000022u << 124 << QStringList{"text@12=zynuser"}
            << QStringList{"Set failed"};
        QTest::newRow("rtsp lc") << lc << "dlg216" << QStringList{}
                                 << QStringList{"ctl274=1", "ctl276=5554", "ctl279=7000"}
                                 << "ctl281" << 277u << 12
                                 << QStringList{"i32@0=1", "i32@4=5554", "i32@8=7000"} << none;
        QTest::newRow("rtsp ants: unticked writes nothing")
            << ants << "dlg216" << QStringList{} << QStringList{"ctl274=0", "ctl276=1"} << "ctl281"
            << 0u << 60 << QStringList{"u16@4=554"} << none;
        QTest::newRow("rtsp ants")
            << ants << "dlg216" << QStringList{} << QStringList{"ctl274=1", "ctl276=8554"}
            << "ctl281" << 0u << 60 << QStringList{"u16@4=8554"} << none;
        QTest::newRow("ftp lc") << lc << "dlg229" << QStringList{}
                                << QStringList{"ctl320=1", "ctl694=ftp.example.org", "ctl317=2121",
                                               "ctl318=up", "ctl319=" + a40}
                                << "ctl315" << 98u << 120
                                << QStringList{"i32@0=1", "text@4=ftp.example.org", "i32@36=2121",
                                               "text@40=up", "text@80=" + a40.left(39)}
                                << ok;
    }
    void saveReachesDevice() {
        QFETCH(int, type);
        QFETCH(QString, page);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, controls);
        QFETCH(QString, button);
        QFETCH(uint, command);
        QFETCH(int, size);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, tips);
        CFrontSetDialog* w = Open(type);
        CDialogEx* p = ShowPage(page);
        QVERIFY(p);
        for (const QString& s : shown)
            QCOMPARE(p->findChild<QLineEdit*>(s.section('=', 0, 0))->text(), s.section('=', 1));
        for (const QString& c : controls) SetControl(p, c.section('=', 0, 0), c.section('=', 1));
        p->findChild<QPushButton*>(button)->click();
        QCOMPARE(tips_, tips);
        const QByteArray rec = DeviceRecord(w->device(), type, command, size);
        QCOMPARE(rec.size(), size);
        for (const QString& f : fields) {
            const QString kind = f.section('@', 0, 0);
            const int at = f.section('@', 1).section('=', 0, 0).toInt();
            QCOMPARE(Field(rec, kind, at), f.section('=', 1));
        }
    }

    // The clock shows the device time, is refreshed once a second and keeps
    // running when the page is hidden.
    void clockTicks() {
        CFrontSetDialog* w = Open(kDeviceTypeAnts);
        auto* page = w->page<CTimeSettingDlg>();
        ShowPage("dlg212");
        auto* clock = page->findChild<QLineEdit*>("ctl238");
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                    .match(clock->text())
                    .hasMatch());
        QVERIFY(page->clock_running());
        ShowPage("dlg211");
        const int before = Calls("AntsNetSDK").count("GetDVRConfig(");
        QTRY_VERIFY_WITH_TIMEOUT(Calls("AntsNetSDK").count("GetDVRConfig(") > before, 3000);
    }

    // Reset and restore for each vendor: the question, the vendor call, the
    // answer.
    void resetAndRestore_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("call");
        QTest::newRow("lc") << int(kDeviceTypeLangChi) << "NetClient_Ord37|NetClient_Ord53";
        QTest::newRow("ants") << int(kDeviceTypeAnts)
                              << "ANTS_NET_DVR_RebootDVR|ANTS_NET_DVR_RestoreConfig";
        QTest::newRow("qv") << int(kDeviceTypeQv) << "";
    }
    void resetAndRestore() {
        QFETCH(int, type);
        QFETCH(QString, call);
        CFrontSetDialog* w = Open(type);
        ShowPage("dlg222");
        auto* page = w->page<CDeviceManagerDlg>();
        page->findChild<QPushButton*>("ctl313")->click();
        page->findChild<QPushButton*>("ctl314")->click();
        QCOMPARE(tips_, (QStringList{"Are you sure you want to reset device", "Has restarted",
                                     "Are you sure you want to restore factory default",
                                     "recovery factory settings success"}));
        const char* lib = type == kDeviceTypeAnts ? "AntsNetSDK" : "NetClient";
        if (type == kDeviceTypeQv) {
            QCOMPARE(qv_->reboots(0), 1);
        } else {
            const QString calls = Calls(lib);
            const int reboot = calls.indexOf(call.section('|', 0, 0) + "(");
            QVERIFY2(reboot >= 0, qPrintable(calls));
            QVERIFY2(calls.indexOf(call.section('|', 1) + "(", reboot) > reboot, qPrintable(calls));
        }
    }

    // The firmware dialogs: file checks, then the update runs to its end.
    void firmwareUpdate_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("end");
        QTest::newRow("lc") << int(kDeviceTypeLangChi) << "status:update success";
        QTest::newRow("ants") << int(kDeviceTypeAnts) << "Status:upgrade successfully";
    }
    void firmwareUpdate() {
        QFETCH(int, type);
        QFETCH(QString, end);
        CFrontSetDialog* w = Open(type);
        ShowPage("dlg222");
        auto* page = w->page<CDeviceManagerDlg>();
        page->findChild<QPushButton*>("ctl542")->click();
        QTemporaryDir dir;
        const QString file = dir.filePath("fw.itm");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("firmware");
        }
        if (type == kDeviceTypeLangChi) {
            CDlgUpdate* d = page->update_dialog();
            QVERIFY(d && d->isVisible());
            d->SetFile(dir.filePath("missing.itm"));
            d->OnOK();
            QCOMPARE(tips_, QStringList{"Failed to open file!"});
            d->SetFile(file);
            d->OnOK();
            QCOMPARE(d->status(), QString("status:Is upgrading"));
            QTRY_COMPARE_WITH_TIMEOUT(d->status(), end, 5000);
            QVERIFY(!d->updating());
            d->grab().save(ArtifactPath("lc_update.png"));
        } else {
            CDlgUpgrade* d = page->upgrade_dialog();
            QVERIFY(d && d->isVisible());
            d->SetFile("");
            d->OnUpdate();
            d->SetFile(dir.filePath("missing"));
            d->OnUpdate();
            QCOMPARE(tips_,
                     (QStringList{"Upgrade file is empty", "Open file failed or no this file"}));
            d->SetFile(file);
            d->OnUpdate();
            QVERIFY(d->upgrading());
            QVERIFY(!d->findChild<QPushButton*>("update")->isEnabled());
            d->grab().save(ArtifactPath("ants_upgrade_running.png"));
            QTRY_COMPARE_WITH_TIMEOUT(d->status(), end, 5000);
            QCOMPARE(d->progress(), 100);
            QVERIFY(d->findChild<QPushButton*>("update")->isEnabled());
            QVERIFY(Calls("AntsNetSDK").contains("ANTS_NET_DVR_CloseUpgradeHandle("));
        }
    }

    // The networks a LangChi device sees; a row click fills the ESSID; the
    // save sends both records.
    void wirelessNetworks() {
        CFrontSetDialog* w = Open(kDeviceTypeLangChi);
        ShowPage("dlg207");
        auto* page = w->page<CWifiSetDlg>();
        QTreeWidget* list = page->networks();
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(1)->text(0), QString("ZynGuest"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(1)).center());
        QCOMPARE(page->findChild<QLineEdit*>("ctl262")->text(), QString("ZynGuest"));
        SetControl(page, "ctl265", "wpa-key");
        SetControl(page, "ctl259", "1");
        page->findChild<QPushButton*>("ctl294")->click();
        QCOMPARE(list->topLevelItemCount(), 2);
        page->findChild<QPushButton*>("ctl281")->click();
        const QByteArray b = LastBlock("NetClient");
        QCOMPARE(b.size(), 2 * CWifiSetDlg::kJoinRecordBytes);
        QCOMPARE(Field(b, "i32", 0), QString("1"));
        QCOMPARE(Field(b, "text", 4), QString("ZynGuest"));
        QCOMPARE(Field(b, "text", 48), QString("ZynGuest"));
        QCOMPARE(Field(b, "text", 108 + 4), QString("ZynGuest"));
        QCOMPARE(Field(b, "text", 108 + 48), QString("wpa-key"));
    }

    // One picture of every page of this group per vendor.
    void screenshots_data() {
        QTest::addColumn<int>("type");
        QTest::newRow("lc") << int(kDeviceTypeLangChi);
        QTest::newRow("ants") << int(kDeviceTypeAnts);
        QTest::newRow("qv") << int(kDeviceTypeQv);
    }
    void screenshots() {
        QFETCH(int, type);
        CFrontSetDialog* w = Open(type);
        const QString vendor = QTest::currentDataTag();
        for (const char* text :
             {"Device info", "user manage", "time setting", "device manage", "IP address and port",
              "Wireless settings", "DDNS settings", "transport protocol", "Ftp settings"}) {
            QTreeWidgetItem* item = w->tree()->FindItem(text);
            if (!item) continue;
            w->tree()->setCurrentItem(item);
            w->SwitchPage(w->visible_page(), ClrTreeCtrlEx::PageOf(item));
            QCoreApplication::processEvents();
            QString name = QString(text).replace(' ', '_');
            QVERIFY(w->grab().save(ArtifactPath(vendor + "_" + name + ".png")));
        }
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    BasicPagesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "basic_pages_test.moc"
