// Headless: record mappings, the search session, device actions and upgrades
// against the vendor emulations and the emulator's QV devices, HDS over
// loopback multicast (inside the private namespace), and the message language.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

#include "search/language.h"
#include "search/search_engine.h"
#include "tests/search/emu_control.h"
#include "tools/devsim/qv_device.h"

using namespace zynsearch;
using search_test::Emulation;

Q_DECLARE_METATYPE(std::string)

namespace {

// "maker=3 ip=127.0.0.31 port=8000 ..." into a record.
_stNetDeviceAddr Record(const QString& fields) {
    _stNetDeviceAddr r{};
    for (const QString& kv : fields.split(' ', Qt::SkipEmptyParts)) {
        QString k = kv.section('=', 0, 0);
        std::string v = kv.section('=', 1).toStdString();
        if (k == "maker")
            r.maker_type = std::stoi(v);
        else if (k == "ip")
            CopyText(r.ip, v);
        else if (k == "mask")
            CopyText(r.mask, v);
        else if (k == "gw")
            CopyText(r.gateway, v);
        else if (k == "mac")
            CopyText(r.mac, v);
        else if (k == "id")
            CopyText(r.identity, v);
        else if (k == "name")
            CopyText(r.device_name, v);
        else if (k == "port")
            r.data_port = static_cast<uint16_t>(std::stoi(v));
        else if (k == "web")
            r.web_port = static_cast<uint16_t>(std::stoi(v));
        else if (k == "ch")
            r.channel_count = std::stoi(v);
        else if (k == "extra2")
            r.extra[1] = std::stoi(v);
    }
    return r;
}

class FakeAdapter : public CAVLibrary {
public:
    explicit FakeAdapter(std::vector<_stNetDeviceAddr> records)
        : CAVLibrary(0), records_(std::move(records)) {}
    void Initialise() override {}
    void CleanUp() override {}
    void Search() override {
        for (const auto& r : records_) Deliver(r);
    }

private:
    std::vector<_stNetDeviceAddr> records_;
};

const char kDevices[] =
    "i8 ip=127.0.0.31 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:31:00:00:01 id=I8A "
    "model=NVR-16CH data_port=8000 web_port=80 user=admin password=\n"
    "i8 ip=127.0.0.32 data_port=8000 id=I8B user=admin password=x\n"
    "camsearch ip=127.0.0.41 mac=00:12:41:00:00:01 name=TI-Cam-1 data_port=5000 user=570431 "
    "password=570431\n"
    "netsdk ip=127.0.0.51 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:51:00:00:01 name=HI "
    "data_port=34567 web_port=80 extra1=7 extra2=9 user=admin password=\n"
    "js ip=127.0.0.61 mac=00:12:61:00:00:01 data_port=554 id=JS1 user=admin password=vupra\n";

}  // namespace

class SearchCoreTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(Emulation("I8_NetSDK").loaded()); }
    void init() { search_test::ResetAll(kDevices); }

    void i8Channels_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("channels");
        QTest::newRow("16CH") << "NVR-16CH" << 16;
        QTest::newRow("4CH") << "DVR-4CH" << 4;
        QTest::newRow("9CH") << "9CH" << 9;
        QTest::newRow("32CH") << "X32CH" << 32;
        QTest::newRow("none") << "NVR" << 0;
    }
    void i8Channels() {
        QFETCH(QString, model);
        QFETCH(int, channels);
        I8DiscoveryRecord r{};
        std::memset(r.ip, '9', sizeof r.ip);  // unterminated: must stay bounded
        r.mac[5] = 0xAB;
        r.data_port = 8000;
        std::strcpy(r.identity, "I8-ID");
        std::strcpy(r.model, model.toLatin1().constData());
        _stNetDeviceAddr d = FromI8(r);
        QCOMPARE(d.channel_count, channels);
        QCOMPARE(Text(d.ip), std::string(16, '9'));
        QCOMPARE(Text(d.mac), std::string("00:00:00:00:00:ab"));
        QCOMPARE(Text(d.identity), std::string("I8-ID"));
        QCOMPARE(d.data_port, 8000);
        QCOMPARE(d.maker_type, 3);
    }

    void netSdkEntries_data() {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("records");
        QTest::newRow("480") << 480 << 2;
        QTest::newRow("479") << 479 << 1;
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("negative") << -240 << 0;
    }
    void netSdkEntries() {
        QFETCH(int, bytes);
        QFETCH(int, records);
        std::vector<uint8_t> buf(480, 0);
        for (int i = 0; i < 2; ++i) {
            uint8_t* e = buf.data() + i * 240;
            std::memset(e, 'N', 32);  // a name filling all 32 bytes
            uint8_t ip[4] = {127, 0, 0, uint8_t(51 + i)};
            std::memcpy(e + 64, ip, 4);
            e[80] = 0x07;
            e[81] = 0x87;  // data port 34567
            e[88] = 9;
            std::memcpy(e + 109, "00:12:51:00:00:01", 17);
        }
        auto out = FromNetSdkEntries(buf.data(), bytes);
        QCOMPARE(int(out.size()), records);
        if (records == 0) return;
        QCOMPARE(Text(out[0].ip), std::string("127.0.0.51"));
        QCOMPARE(Text(out[0].device_name), std::string(31, 'N'));
        QCOMPARE(out[0].data_port, 34567);
        QCOMPARE(out[0].extra[1], 9);
        QCOMPARE(Text(out[0].mac), std::string("00:12:51:00:00:01"));
        QCOMPARE(out[0].channel_count, 1);
    }

    void jsText() {
        std::string text =
            "DEVICE-NAME=" + std::string(50, 'n') +
            " DEVICE-MAC=00:12:61:00:00:01 DEVICE-IP=127.0.0.61 DEVICE-ID=" + std::string(60, 'i') +
            " DEVICE-CHANNELS=4 DEVICE-RTSPPORT=554 "
            "DEVICE-WEBPORT=8080";
        _stNetDeviceAddr d = FromJsText(text);
        QCOMPARE(Text(d.device_name), std::string(31, 'n'));
        QCOMPARE(Text(d.identity), std::string(44, 'i'));
        QCOMPARE(Text(d.ip), std::string("127.0.0.61"));
        QCOMPARE(d.channel_count, 4);
        QCOMPARE(d.data_port, 554);
        QCOMPARE(d.web_port, 8080);
        QCOMPARE(FromJsText("garbage").maker_type, 11);
    }

    // Records (maker:identity:mac, ...) delivered by two adapters; the rows' identities.
    void session_data() {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("same identity, two makers")
            << QStringList{"3:ID1:00:00:00:00:00:01"} << QStringList{"5:ID1:00:00:00:00:00:02"}
            << QStringList{"ID1"};
        QTest::newRow("empty identity uses the MAC")
            << QStringList{"2::00:00:00:00:00:01"} << QStringList{"11::00:00:00:00:00:01"}
            << QStringList{"00:00:00:00:00:01"};
        QTest::newRow("maker type 4 never listed")
            << QStringList{"4:X:00:00:00:00:00:01", "10:Y:00:00:00:00:00:02"} << QStringList{}
            << QStringList{"Y"};
        QTest::newRow("every accepted type") << QStringList{"1:A:m", "2:B:m", "3:C:m", "5:D:m"}
                                             << QStringList{"9:E:m", "10:F:m", "11:G:m", "12:H:m"}
                                             << QStringList{"A", "B", "C", "D", "E", "F", "G"};
    }
    void session() {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(QStringList, rows);
        auto make = [](const QStringList& specs) {
            std::vector<_stNetDeviceAddr> out;
            for (const QString& s : specs)
                out.push_back(Record("maker=" + s.section(':', 0, 0) +
                                     " id=" + s.section(':', 1, 1) + " mac=" + s.section(':', 2)));
            return out;
        };
        FakeAdapter a(make(first)), b(make(second));
        SearchSession session({&a, &b});
        std::atomic<int> delivered{0};
        session.Start([&](const _stNetDeviceAddr&, int number) { delivered = number; });
        QVERIFY(session.WaitIdle(2000));
        session.Stop();
        QStringList got;
        for (const auto& r : session.Rows()) got << QString::fromStdString(Text(r.identity));
        QCOMPARE(got, rows);
        QCOMPARE(int(delivered), int(rows.size()));
    }

    // A device action on the emulations: the message, a call it must make and
    // a call it must not make.
    void actions_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("not_made");
        QTest::newRow("i8 reboot") << "reboot"
                                   << "maker=3 ip=127.0.0.31 port=8000"
                                   << "Has restarted"
                                   << "I8_NetSDK"
                                   << R"(I8_NET_DVR_RebootDVR\(\d+\))"
                                   << "";
        QTest::newRow("i8 reboot, login refused")
            << "reboot"
            << "maker=3 ip=127.0.0.32 port=8000"
            << ""
            << "I8_NetSDK"
            << R"(I8_NET_DVR_Login\(127\.0\.0\.32,8000,admin,\))"
            << "I8_NET_DVR_RebootDVR";
        QTest::newRow("i8 restore") << "restore"
                                    << "maker=3 ip=127.0.0.31 port=8000"
                                    << "Defaul success"
                                    << "I8_NetSDK"
                                    << R"(I8_NET_DVR_RestoreConfig\(\d+\))"
                                    << "";
        QTest::newRow("camsearch reboot")
            << "reboot"
            << "maker=2 ip=127.0.0.41 port=5000 name=TI-Cam-1"
            << "Has restarted"
            << "NetClient"
            << R"(NetClient_Ord37\(TI-Cam-1,127\.0\.0\.41,570431,570431,5000\))"
            << "";
        QTest::newRow("camsearch restore, unknown")
            << "restore"
            << "maker=2 ip=127.0.0.99 port=5000"
            << "Defaul failed"
            << "NetClient"
            << R"(NetClient_Ord53\(,127\.0\.0\.99,570431,570431,5000\))"
            << "";
        QTest::newRow("netsdk reboot") << "reboot"
                                       << "maker=5 ip=127.0.0.51 port=34567"
                                       << "Has restarted"
                                       << "NetSDK"
                                       << R"(NetSDK_Ord39\(\d+,0,500\))"
                                       << "";
        QTest::newRow("netsdk restore") << "restore"
                                        << "maker=5 ip=127.0.0.51 port=34567"
                                        << "Defaul success"
                                        << "NetSDK"
                                        << R"(NetSDK_Ord12\(\d+,33,0,10,1000\))"
                                        << "";
        QTest::newRow("netsdk gateway outside the subnet")
            << "modify"
            << "maker=5 ip=192.168.1.20 mask=255.255.255.0 gw=192.168.0.1 mac=00:12:51:00:00:01"
            << "ConfigNet.SetGatewayFailed"
            << "NetSDK"
            << ""
            << "NetSDK_Ord13";
        QTest::newRow("netsdk change") << "modify"
                                       << "maker=5 ip=127.0.0.52 mask=255.0.0.0 gw=127.0.0.1 "
                                          "mac=00:12:51:00:00:01 port=34567 web=81 extra2=9"
                                       << ""
                                       << "NetSDK"
                                       << R"(NetSDK_Ord13\(9,20,-1,144,1000\))"
                                       << "";
        QTest::newRow("camsearch change")
            << "modify"
            << "maker=2 ip=127.0.0.42 mask=255.0.0.0 gw=127.0.0.1 mac=00:12:41:00:00:01 name=TI "
               "port=5000 web=80"
            << ""
            << "CamSearch"
            << R"(CamSearch_Ord5\(255\.0\.0\.0,00:12:41:00:00:01,TI,127\.0\.0\.42,255\.0\.0\.0,127\.0\.0\.1,235\.1\.1\.1,127\.0\.0\.42,80,5000,6500,0\))"
            << "";
        QTest::newRow("js reboot")
            << "reboot"
            << "maker=11 ip=127.0.0.61 port=554"
            << "Has restarted"
            << "JSNetProtocol"
            << R"(JSNetProtocol_Ord5\(127\.0\.0\.61,554,1/1080p,1,admin,vupra\))"
            << "";
        QTest::newRow("js change")
            << "modify"
            << "maker=11 ip=127.0.0.62 mask=255.0.0.0 gw=127.0.0.1 mac=00:12:61:00:00:01 port=554 "
               "was=127.0.0.61"
            << "Successfully modified"
            << "JSNetProtocol"
            << R"(JSNetProtocol_Ord45\(127\.0\.0\.62,00:12:61:00:00:01,255\.0\.0\.0,127\.0\.0\.1\))"
            << "";
    }
    void actions() {
        QFETCH(QString, action);
        QFETCH(QString, record);
        QFETCH(QString, message);
        QFETCH(QString, library);
        QFETCH(QString, made);
        QFETCH(QString, not_made);
        DeviceActions actions(VendorSet::Load(), nullptr);
        _stNetDeviceAddr r = Record(record);
        std::string got =
            action == "reboot" ? actions.Reboot(r)
            : action == "restore"
                ? actions.Restore(r)
                : actions.Modify(
                      r, record.contains("was=") ? record.section("was=", 1).toStdString() : "");
        QCOMPARE(QString::fromStdString(got), message);
        QStringList calls = Emulation(library.toLatin1().constData()).Calls();
        if (!made.isEmpty())
            QVERIFY2(calls.indexOf(QRegularExpression("^" + made + "$")) >= 0,
                     qPrintable(calls.join(" | ")));
        if (!not_made.isEmpty())
            for (const QString& c : calls) QVERIFY2(!c.startsWith(not_made), qPrintable(c));
    }

    void netSdkChangeActsOnTheDevice() {
        DeviceActions actions(VendorSet::Load(), nullptr);
        actions.Modify(
            Record("maker=5 ip=127.0.0.52 mask=255.0.0.0 gw=127.0.0.1 mac=00:12:51:00:00:01 "
                   "port=34568 web=81 extra2=9"));
        std::string dev = Emulation("NetSDK").Device(0);
        QVERIFY2(dev.find("ip=127.0.0.52") != std::string::npos, dev.c_str());
        QVERIFY2(dev.find("data_port=34568") != std::string::npos, dev.c_str());
    }

    void i8ChangeRecord_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArray>("model");
        QTest::newRow("16") << 16 << QByteArray("16");
        QTest::newRow("4") << 4 << QByteArray("04");
        QTest::newRow("9") << 9 << QByteArray();
    }
    void i8ChangeRecord() {
        QFETCH(int, channels);
        QFETCH(QByteArray, model);
        DeviceActions actions(VendorSet::Load(), nullptr);
        actions.Modify(
            Record("maker=3 ip=127.0.0.33 mask=255.0.0.0 gw=127.0.0.1 mac=00:12:31:00:00:01 "
                   "port=8001 web=81 id=I8A ch=" +
                   QString::number(channels)));
        std::vector<uint8_t> block = Emulation("I8_NetSDK").LastBlock();
        QCOMPARE(int(block.size()), 468);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&block[404])), model);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&block[0])), QByteArray("127.0.0.33"));
        QCOMPARE(block[300] | block[301] << 8, 8001);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&block[356])), QByteArray("admin"));
        QCOMPARE(block[388], uint8_t(0));
        QVERIFY(Emulation("I8_NetSDK").Device(0).find("ip=127.0.0.33") != std::string::npos);
    }

    void qvActions() {
        devsim::QvEmulator qv({devsim::QvDeviceConfig{}}, false);
        std::string error;
        QVERIFY2(qv.Start(&error), error.c_str());
        DeviceActions actions(VendorSet::Load(), nullptr);
        _stNetDeviceAddr r = Record("maker=10 ip=127.0.0.1 port=" + QString::number(qv.port(0)));
        QCOMPARE(actions.Reboot(r), std::string("Has restarted"));  // closed by the device
        QCOMPARE(qv.reboots(0), 1);
        QCOMPARE(actions.Restore(r), std::string("Defaul success"));
        QCOMPARE(qv.restores(0), 1);
        qv.SetFault(0, devsim::QvFault::kWord20);
        QCOMPARE(actions.Restore(r), std::string("Defaul failed"));
        qv.Stop();
        QCOMPARE(actions.Reboot(r), std::string("reboot failed"));  // nobody listens
        // A QV change needs a valid text and the whole 32-character id.
        r = Record("maker=10 ip=127.0.0.20 mask=255.0.0.0 gw=127.0.0.1 mac=00:51:56:00:00:01");
        QCOMPARE(DeviceActions::NetconfCommand(r),
                 std::string("netconf set -devname eth0 -ipaddr 127.0.0.20 -netmask 255.0.0.0 "
                             "-gateway 127.0.0.1 -hwaddr 00:51:56:00:00:01"));
        CopyText(r.ip, std::string("1.2.3.4 -x"));
        QCOMPARE(DeviceActions::NetconfCommand(r), std::string());
    }

    // Upgrades: the device line, the file, and what the dialog ends with.
    void upgrade_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("progress");
        const QString i8 = "i8 ip=127.0.0.31 data_port=8000 user=admin password=pw upgrade_ms=300";
        const QString i8r = "maker=3 ip=127.0.0.31 port=8000";
        QTest::newRow("i8 empty file") << i8 << i8r << QByteArray("") << "Upgrade file is empty"
                                       << "" << -1;
        QTest::newRow("i8 no file")
            << i8 << i8r << QByteArray("-") << "Open file failed or no this file"
            << "" << -1;
        QTest::newRow("i8 success") << i8 << i8r << QByteArray("fw") << ""
                                    << "Status:upgrade successfully" << 100;
        QTest::newRow("i8 device failure")
            << i8 + " upgrade_state=3" << i8r << QByteArray("fw") << ""
            << "Status: upgrade equipment failure" << -1;
        QTest::newRow("i8 wrong password")
            << "i8 ip=127.0.0.31 data_port=8000 user=admin password=zz" << i8r << QByteArray("fw")
            << "Upgrade failed"
            << "" << -1;
        const QString cam =
            "camsearch ip=127.0.0.41 data_port=5000 user=admin password=pw upgrade_ms=200";
        QTest::newRow("camsearch success")
            << cam << "maker=2 ip=127.0.0.41 port=5000" << QByteArray("fw") << ""
            << "status:update success" << -1;
        QTest::newRow("camsearch failure")
            << cam + " upgrade_state=4"
            << "maker=2 ip=127.0.0.41 port=5000" << QByteArray("fw") << ""
            << "status:update fail4" << -1;
        QTest::newRow("netsdk success")
            << "netsdk ip=127.0.0.51 data_port=34567 user=admin password=pw upgrade_ms=200"
            << "maker=5 ip=127.0.0.51 port=34567" << QByteArray("fw") << ""
            << "Status:upgrade successfully" << 100;
        QTest::newRow("js success")
            << "js ip=127.0.0.61 data_port=554 user=admin password=pw"
            << "maker=11 ip=127.0.0.61 port=554" << QByteArray("fw") << "update success"
            << "" << -1;
    }
    void upgrade() {
        QFETCH(QString, device);
        QFETCH(QString, record);
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        QFETCH(QString, status);
        QFETCH(int, progress);
        search_test::ResetAll(device.toStdString());
        if (device.startsWith("camsearch")) Emulation("NetClient").Reset(device.toStdString());
        QTemporaryDir dir;
        QString path = dir.filePath("fw.bin");
        if (file != "-") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        UpgradeJob job(VendorSet::Load(), Record(record));
        job.SetPollIntervals(20, 20);
        std::mutex mu;
        std::vector<UpgradeStep> pushed;
        job.SetProgressListener([&](const UpgradeStep& s) {
            std::lock_guard<std::mutex> lock(mu);
            pushed.push_back(s);
        });
        UpgradeStep step = job.Start(path.toStdString(), "admin", "pw");
        std::vector<int> seen;
        QElapsedTimer t;
        t.start();
        while (!step.finished && t.elapsed() < 5000) {
            if (step.poll_ms > 0) {
                QTest::qWait(step.poll_ms);
                step = job.Poll();
            } else {
                QTest::qWait(20);
                std::lock_guard<std::mutex> lock(mu);
                if (!pushed.empty()) step = pushed.back();
            }
            if (step.progress >= 0) seen.push_back(step.progress);
        }
        QVERIFY(step.finished);
        QCOMPARE(QString::fromStdString(step.message), message);
        QCOMPARE(QString::fromStdString(step.status), status);
        if (progress >= 0) QCOMPARE(step.progress, progress);
        if (file.isEmpty() || file == "-")  // never logged in
            for (const QString& c : Emulation("I8_NetSDK").Calls())
                QVERIFY(!c.startsWith("I8_NET_DVR_Login"));
        if (status.contains("successfully") && device.startsWith("i8")) {
            QVERIFY(seen.size() >= 2);  // the bar moved before it reached 100
            QVERIFY(seen.front() < 100);
            QVERIFY(Emulation("I8_NetSDK")
                        .Calls()
                        .indexOf(QRegularExpression(R"(^I8_NET_DVR_CloseUpgradeHandle\(\d+\)$)")) >=
                    0);
        }
    }

    void language_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("french") << 2 << "Rechercher";
        QTest::newRow("english never reads the file") << 0 << "Search";
        QTest::newRow("unknown number") << 7 << "Search";
    }
    void language() {
        QFETCH(int, language);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QFile ini(dir.filePath("Vexora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[LanguageType]\nLanguage=" + QByteArray::number(language) + "\n");
        ini.close();
        for (const char* name : {"qxr_French.ini", "language.ini"}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Search=Rechercher\r\ntips=Conseils\n");
        }
        Language lang;
        lang.Load(dir.path().toStdString());
        QCOMPARE(QString::fromStdString(lang.Lookup("Search")), expected);
        QCOMPARE(QString::fromStdString(lang.Lookup("Not there")), QString("Not there"));
    }

    void hdsOverLoopback() {
        if (!InPrivateNetworkNamespace()) QSKIP("multicast runs only inside the private namespace");
        devsim::QvEmulator qv({devsim::QvDeviceConfig{}}, true);
        std::string error;
        QVERIFY2(qv.Start(&error), error.c_str());
        std::mutex mu;
        std::vector<qvnet::HdsDevice> found;
        HdsClient client;
        QVERIFY(!client.Search());  // not started
        QVERIFY(client.Start([&](const qvnet::HdsDevice& d) {
            std::lock_guard<std::mutex> lock(mu);
            found.push_back(d);
        }));
        QVERIFY(!client.Start(nullptr));  // refused twice
        QCOMPARE(int(client.client_id().size()), 32);
        for (char c : client.client_id()) QVERIFY(std::isalpha(static_cast<unsigned char>(c)));
        auto count = [&] {
            std::lock_guard<std::mutex> lock(mu);
            return found.size();
        };
        qv.Announce(0);  // a REGISTER reaches the client without a search
        QTRY_VERIFY_WITH_TIMEOUT(count() >= 1, 3000);
        QVERIFY(client.Search());
        QTRY_VERIFY_WITH_TIMEOUT(count() >= 2, 3000);
        qvnet::HdsDevice d;
        {
            std::lock_guard<std::mutex> lock(mu);
            d = found[0];
        }
        _stNetDeviceAddr r = FromHds(d);
        QCOMPARE(Text(r.identity), qv.device(0).device_id);  // all 32 characters
        QCOMPARE(int(r.data_port), int(qv.port(0)));
        QCOMPARE(r.maker_type, 10);
        // The network change reaches the device by its whole id.
        DeviceActions actions(VendorSet::Load(), &client);
        CopyText(r.ip, std::string("127.0.0.77"));
        QCOMPARE(actions.Modify(r), std::string("Successfully modified"));
        QVERIFY(qv.WaitCommands(0, 1, 3000));
        QCOMPARE(qv.device(0).ip, std::string("127.0.0.77"));
        QVERIFY(!client.Command(qv.device(0).device_id.substr(0, 23), "netconf set"));
        client.Stop();
    }
};

QTEST_GUILESS_MAIN(SearchCoreTest)
#include "search_core_test.moc"
