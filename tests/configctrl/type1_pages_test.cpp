// The basic settings and network pages of an own-protocol device against
// the device emulator over loopback: what a page saves is read back from the
// emulated device field by field; the clock, the firmware upgrade and the
// reboot reach it; one picture per page goes to artifacts/configctrl/pages.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_tree.h"
#include "configctrl/window/pages/device_manager_dlg.h"
#include "configctrl/window/pages/dlg_update.h"
#include "configctrl/window/pages/wifi_set_dlg.h"
#include "configctrl/window/tips_box.h"
#include "tools/devsim/devsim.h"
#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/param_fields.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;
using page_test::ArtifactPath;
using page_test::SetControl;
using zyn::wire::ParamGroup;

namespace {

ParamGroup GroupNamed(const QString& name) {
    for (const auto& g : zyn::wire::kParamGroups)
        if (name == g.name) return g.group;
    return ParamGroup::kCount;
}

}  // namespace

class Type1PagesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<devsim::Emulator> emu_;
    std::unique_ptr<CFrontSetDialog> window_;
    QStringList tips_;  // texts of the message box, answered with Yes

    devsim::Device& Dev() { return emu_->device(0); }

    // A logged-in window on a freshly started emulated device.
    CFrontSetDialog* Open() {
        window_.reset();
        emu_.reset();
        devsim::DeviceConfig d;
        d.device_id = 7;
        d.channel_count = 2;
        d.main = {176, 144, 5, 64, 5, 1};
        d.sub = {176, 144, 5, 64, 5, 1};
        d.audio = false;
        d.reboot_delay_ms = 200;
        devsim::Config c;
        c.devices = {d};
        emu_ = std::make_unique<devsim::Emulator>(c);
        std::string error;
        if (!emu_->Start(&error)) qWarning("%s", error.c_str());
        auto dev = std::make_unique<CZynDevice>();
        dev->SetDeviceId(5);
        dev->SetAddress("127.0.0.1");
        dev->SetHostName("127.0.0.1");
        dev->SetPort(Dev().control_port());
        dev->SetSecondPort(Dev().stream_port());
        dev->SetUserName("admin");
        dev->SetPassword("admin");
        dev->SetChannelCount(2);
        if (!dev->Login()) qWarning("login failed");
        window_ = std::make_unique<CFrontSetDialog>(nullptr);
        window_->SetDevice(std::move(dev), kDeviceTypeZyn);
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
    // A field of the record the emulated device holds now.
    QString DeviceField(ParamGroup g, const char* name) {
        const auto record = Dev().Param(zyn::wire::GroupInfo(g).get_command, 0);
        return QString::fromStdString(zyn::wire::GetField(g, record.data(), name));
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
        emu_.reset();
        ZYNVS_UnInit();
        CRHYesNoToAllDialog::SetHook(nullptr);
    }

    // Each row: what the page shows after its first read, the controls set,
    // its button, then the device's record field by field and the message box.
    void saveReachesDevice_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("shown");     // "control=text"
        QTest::addColumn<QStringList>("controls");  // "control=value"
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QStringList>("fields");  // "field=value" on the device
        QTest::addColumn<QStringList>("tips");
        const QStringList ok{"Set success"}, failed{"Set failed"};
        const QString a40(40, 'a');

        QTest::newRow("info: name")
            << "dlg211" << QStringList{"ctl228=ZynCam-7", "ctl276=ZC00000007", "channels=2"}
            << QStringList{"ctl228=Gate cam"} << "ctl281"
            << "base" << QStringList{"name=Gate cam", "serial=ZC00000007"} << ok;
        QTest::newRow("info: name cut at 31")
            << "dlg211" << QStringList{} << QStringList{"ctl228=" + a40} << "ctl281"
            << "base" << QStringList{"name=" + a40.left(31)} << ok;
        QTest::newRow("ip: addresses, ports, dhcp, pppoe")
            << "dlg213" << QStringList{"ctl241=127.0.0.1", "ctl246=255.0.0.0", "ctl249=80"}
            << QStringList{"ctl241=10.1.2.3",  "ctl246=255.255.0.0", "ctl243=10.1.2.1",
                           "ctl244=10.1.2.53", "ctl249=8080",        "ctl253=9000",
                           "ctl254=239.1.2.3", "ctl273=1",           "ctl240=#1",
                           "ctl290=dialer",    "ctl292=secret"}
            << "ctl281"
            << "network"
            << QStringList{"address=10.1.2.3",
                           "mask=255.255.0.0",
                           "gateway=10.1.2.1",
                           "dns1=10.1.2.53",
                           "http_port=8080",
                           "multicast_port=9000",
                           "multicast_address=239.1.2.3",
                           "dhcp=on",
                           "pppoe=on",
                           "pppoe_user=dialer",
                           "pppoe_password=secret"}
            << ok;
        QTest::newRow("ip: a bad address or port sends nothing")
            << "dlg213" << QStringList{}
            << QStringList{"ctl241=10.1.2", "ctl246=255.255.0.0", "ctl249=70000"} << "ctl281"
            << "network" << QStringList{"address=127.0.0.1", "mask=255.0.0.0", "http_port=80"}
            << failed;
        QTest::newRow("wifi: joins a network")
            << "dlg207" << QStringList{"ctl262=", "wifiDhcp=on"}
            << QStringList{"ctl259=1",
                           "ctl262=yard",
                           "ctl265=key-123",
                           "security=#1",
                           "wifiDhcp=0",
                           "wifiAddress=192.168.5.9",
                           "wifiMask=255.255.255.0",
                           "wifiGateway=192.168.5.1",
                           "wifiDns=192.168.5.1"}
            << "ctl281"
            << "wifi" << QStringList{"enabled=on",         "ssid=yard",
                                     "key=key-123",        "security=wep",
                                     "dhcp=off",           "address=192.168.5.9",
                                     "mask=255.255.255.0", "gateway=192.168.5.1",
                                     "dns=192.168.5.1"}
            << ok;
    }
    void saveReachesDevice() {
        QFETCH(QString, page);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, controls);
        QFETCH(QString, button);
        QFETCH(QString, group);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, tips);
        Open();
        CDialogEx* p = ShowPage(page);
        QVERIFY(p);
        for (const QString& s : shown) {
            const QString name = s.section('=', 0, 0), want = s.section('=', 1);
            QWidget* w = p->findChild<QWidget*>(name);
            QVERIFY2(w, qPrintable(name));
            if (auto* e = qobject_cast<QLineEdit*>(w))
                QCOMPARE(e->text(), want);
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                QCOMPARE(b->isChecked(), want == "on");
        }
        for (const QString& c : controls) SetControl(p, c.section('=', 0, 0), c.section('=', 1));
        p->findChild<QPushButton*>(button)->click();
        QCOMPARE(tips_, tips);
        const ParamGroup g = GroupNamed(group);
        for (const QString& f : fields) {
            const QByteArray name = f.section('=', 0, 0).toLatin1();
            QCOMPARE(DeviceField(g, name.constData()), f.section('=', 1));
        }
        if (g == ParamGroup::kBase) {  // the device now introduces itself by the new name
            const auto info = Dev().DeviceInfo();
            QCOMPARE(QString::fromLatin1(reinterpret_cast<const char*>(info.data())),
                     fields[0].section('=', 1));
        }
    }

    // Manual and computer time reach the device's clock, which the page then
    // shows; a time server is switched on in the network record instead.
    void clock_data() {
        QTest::addColumn<QStringList>("controls");
        QTest::addColumn<QString>("clock");  // what the device was set to ("" none)
        QTest::addColumn<QString>("ntp");
        QTest::newRow("manual") << QStringList{"ctl285=1", "ctl284=2031-02-03", "ctl282=04:05:06"}
                                << "2031-02-03 04:05:06"
                                << "off";
        QTest::newRow("server") << QStringList{"ctl288=1", "ctl243=time.example"} << ""
                                << "on";
    }
    void clock() {
        QFETCH(QStringList, controls);
        QFETCH(QString, clock);
        QFETCH(QString, ntp);
        Open();
        CDialogEx* p = ShowPage("dlg212");
        auto* shown = p->findChild<QLineEdit*>("ctl238");
        QTRY_VERIFY(!shown->text().isEmpty());
        for (const QString& c : controls) SetControl(p, c.section('=', 0, 0), c.section('=', 1));
        p->findChild<QPushButton*>("ctl244")->click();
        QCOMPARE(DeviceField(ParamGroup::kNetwork, "ntp"), ntp);
        if (clock.isEmpty()) {
            QCOMPARE(DeviceField(ParamGroup::kNetwork, "ntp_server"), QString("time.example"));
            QVERIFY(!Dev().LastClockSet());
            return;
        }
        QTRY_VERIFY(Dev().LastClockSet().has_value());
        const devsim::ClockSetting c = *Dev().LastClockSet();
        QCOMPARE(QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                                   c.minute, c.second),
                 clock);
        // The device's clock runs on from there; the page reads it once a second.
        QTRY_VERIFY(shown->text().startsWith(clock.left(16)));
    }

    // Restore, parameter reset, upgrade with progress, reboot and reconnect.
    void deviceManage() {
        Open();
        auto* page = static_cast<CDeviceManagerDlg*>(ShowPage("dlg222"));
        auto click = [&](const char* name) { page->findChild<QPushButton*>(name)->click(); };
        // A parameter reset undoes a saved change.
        CDialogEx* ip = ShowPage("dlg213");
        SetControl(ip, "ctl249", "8080");
        ip->findChild<QPushButton*>("ctl281")->click();
        QCOMPARE(DeviceField(ParamGroup::kNetwork, "http_port"), QString("8080"));
        ShowPage("dlg222");
        click("resetParameters");
        QCOMPARE(DeviceField(ParamGroup::kNetwork, "http_port"), QString("80"));
        click("ctl314");
        QCOMPARE(Dev().DefaultParamWords(), std::vector<uint32_t>{6});
        QCOMPARE(tips_.mid(1),
                 (QStringList{"Are you sure you want to reset parameters", "Set success",
                              "Are you sure you want to restore factory default",
                              "recovery factory settings success"}));

        // Upgrade: a missing file is refused; a real one arrives whole.
        QTemporaryDir dir;
        const QString file = dir.filePath("zyncam-fw.bin");
        QByteArray image(100 * 1024 + 17, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(image);
        }
        click("ctl542");
        CDlgZynUpgrade* d = page->zyn_upgrade_dialog();
        QVERIFY(d && d->isVisible());
        tips_.clear();
        d->SetFile(dir.filePath("missing"));
        d->OnUpdate();
        QCOMPARE(tips_, QStringList{"Open file failed or no this file"});
        d->SetFile(file);
        d->OnUpdate();
        QVERIFY(d->upgrading());
        QVERIFY(!d->findChild<QPushButton*>("update")->isEnabled());
        QSignalSpy moved(d->findChild<QProgressBar*>("progress"), &QProgressBar::valueChanged);
        QTRY_VERIFY_WITH_TIMEOUT(!d->upgrading(), 20000);
        d->grab().save(ArtifactPath("type1_upgrade_done.png"));
        QCOMPARE(d->status(), QString("Status:upgrade successfully"));
        QCOMPARE(d->progress(), 100);
        QVERIFY2(moved.count() >= 3, "the bar moves on the way");
        for (int i = 1; i < moved.count(); ++i)
            QVERIFY(moved[i][0].toInt() > moved[i - 1][0].toInt());
        QVERIFY(d->findChild<QPushButton*>("update")->isEnabled());
        const devsim::UpgradeStatus up = Dev().Upgrade();
        QVERIFY(up.complete);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(up.image.data()), int(up.image.size())),
                 image);
        QCOMPARE(up.chunks, uint32_t((image.size() + 1019) / 1020));
        QCOMPARE(QString::fromLatin1(reinterpret_cast<const char*>(up.request.data()) + 12),
                 QString("zyncam-fw.bin"));
        d->close();

        // Reboot: the device goes away and the SDK logs in again by itself.
        tips_.clear();
        click("ctl313");
        QCOMPARE(tips_, (QStringList{"Are you sure you want to reset device", "Has restarted"}));
        QVERIFY(Dev().WaitUntilUp(1, 10000));
        QTRY_VERIFY_WITH_TIMEOUT(Dev().LoggedInSessions() >= 1, 10000);
        tips_.clear();
        CDialogEx* info = ShowPage("dlg211");
        SetControl(info, "ctl228", "After reboot");
        info->findChild<QPushButton*>("ctl281")->click();
        QCOMPARE(tips_, QStringList{"Set success"});
        QCOMPARE(DeviceField(ParamGroup::kBase, "name"), QString("After reboot"));
    }

    // One picture of every basic and network page for an own-protocol device.
    void screenshots() {
        CFrontSetDialog* w = Open();
        for (const char* text : {"Device info", "time setting", "device manage",
                                 "IP address and port", "Wireless settings"}) {
            QTreeWidgetItem* item = w->tree()->FindItem(text);
            QVERIFY2(item, text);
            w->tree()->setCurrentItem(item);
            w->SwitchPage(w->visible_page(), ClrTreeCtrlEx::PageOf(item));
            QCoreApplication::processEvents();
            QString name = QString(text).replace(' ', '_');
            QVERIFY(w->grab().save(ArtifactPath("type1_" + name + ".png")));
        }
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    Type1PagesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "type1_pages_test.moc"
