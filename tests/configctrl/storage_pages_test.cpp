// The storage pages of an ANTS recorder against the emulated vendor
// library: the disk list and its texts, attribute, group and channel writes
// read back from the device, expansion with its progress and the formatting
// dialog. Runs under Xvfb when a display is there and leaves a screenshot
// per page in artifacts/configctrl; offscreen otherwise.
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <cstring>
#include <memory>

#include "configctrl/control/zyn_config_ctrl.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/pages/dlg_format_hd.h"
#include "configctrl/window/pages/dlg_hard_disk_cfg.h"
#include "configctrl/window/pages/dlg_remote_ip_access.h"
#include "configctrl/window/pages/dlg_serial_cfg.h"
#include "configctrl/window/pages/record_bytes.h"
#include "configctrl/window/pages/storage_device_dlg.h"
#include "configctrl/window/tips_box.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"
#include "vendors/net_client.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;

namespace {

QStringList VendorCalls() {
    auto lib = vendors::VendorLibrary::Open("AntsNetSDK");
    ZynVendorEmu_Calls_t calls = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Calls", &calls)) return {};
    QByteArray buf(calls(nullptr, 0), '\0');
    calls(buf.data(), int(buf.size()));
    return QString::fromLatin1(buf.constData()).split('\n', Qt::SkipEmptyParts);
}

// Each reset gives the device a new address: the emulated libraries keep a
// device's records by address for the life of the process.
int g_unit = 100;
QByteArray g_ip;
QByteArray NextDevice(const char* maker, const char* rest) {
    g_ip = "127.0.0." + QByteArray::number(++g_unit);
    return QByteArray(maker) + " ip=" + g_ip + " " + rest + "\n";
}

bool ResetVendor(const char* library, const QByteArray& devices, const QByteArray& failing) {
    auto lib = vendors::VendorLibrary::Open(library);
    ZynVendorEmu_Reset_t reset = nullptr;
    ZynVendorEmu_Fail_t fail = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Reset", &reset) || !lib->Get("ZynVendorEmu_Fail", &fail))
        return false;
    reset(devices.constData());
    fail(failing.constData());
    return true;
}

bool SetFailing(const char* library, const QByteArray& failing) {
    auto lib = vendors::VendorLibrary::Open(library);
    ZynVendorEmu_Fail_t fail = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Fail", &fail)) return false;
    fail(failing.constData());
    return true;
}

QStringList Calls(const char* library) {
    auto lib = vendors::VendorLibrary::Open(library);
    ZynVendorEmu_Calls_t calls = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Calls", &calls)) return {};
    QByteArray buf(calls(nullptr, 0), '\0');
    calls(buf.data(), int(buf.size()));
    return QString::fromLatin1(buf.constData()).split('\n', Qt::SkipEmptyParts);
}

bool ResetAnts(const QByteArray& failing) {
    auto lib = vendors::VendorLibrary::Open("AntsNetSDK");
    ZynVendorEmu_Reset_t reset = nullptr;
    ZynVendorEmu_Fail_t fail = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Reset", &reset) || !lib->Get("ZynVendorEmu_Fail", &fail))
        return false;
    reset(NextDevice("ants",
                     "name=ANTS-NVR-1 data_port=8000 channels=4 alarm_in=4 "
                     "alarm_out=2 user=admin password=12345")
              .constData());
    fail(failing.constData());
    return true;
}

// A logged-in ANTS window; every "tips" message lands in `tips`.
struct AntsWindow {
    std::unique_ptr<CZynConFigCtrlCtrl> ctrl = std::make_unique<CZynConFigCtrlCtrl>();
    QStringList tips;

    explicit AntsWindow(int type = kDeviceTypeAnts) {
        SetTipsHook([this](const QString& text) { tips << "tips: " + text; });
        ctrl->resize(400, 300);
        ctrl->show();
        if (type == kDeviceTypeAnts)
            ctrl->LoginDevice("nvr", g_ip, 8000, "admin", "12345", type);
        else
            ctrl->LoginDevice("cam", g_ip, 5000, "570431", "570431", type);
        ctrl->MoveWindow(0, 960, 0, 700);
    }
    ~AntsWindow() { SetTipsHook({}); }
    CFrontSetDialog* window() const { return ctrl->window(); }
    CANTSDevice* device() const { return dynamic_cast<CANTSDevice*>(window()->device()); }
    CLangChiDevice* langchi() const { return dynamic_cast<CLangChiDevice*>(window()->device()); }
    template <typename Page>
    Page* Show() {
        Page* page = window()->page<Page>();
        window()->SwitchPage(window()->visible_page(), page);
        return page;
    }
    QByteArray Record(int command, int bytes) const {
        QByteArray r(bytes, '\0');
        int got = 0;
        return device()->GetDVRConfig(command, 0, r.data(), bytes, &got) ? r : QByteArray();
    }
};

template <typename W>
W* Child(QWidget* parent, int id) {
    return parent->findChild<W*>(QString("ctl%1").arg(id));
}

void Screenshot(QWidget* w, const QString& name) {
    w->window()->grab().save(page_test::ArtifactPath(name, "configctrl"));
}

// Disk record entries: number, capacity, free, status, attribute, group.
QByteArray DiskRecord(const QList<QList<int>>& disks) {
    QByteArray r(CDlgHardDiskCfg::kDiskBytes, '\0');
    SetRecordU32(r, 0, CDlgHardDiskCfg::kDiskBytes);
    SetRecordU32(r, 4, uint32_t(disks.size()));
    for (int i = 0; i < disks.size(); ++i) {
        const int at = 8 + 36 * i;
        for (int f = 0; f < 4; ++f) SetRecordU32(r, at + 4 * f, uint32_t(disks[i][f]));
        SetRecordU8(r, at + 16, uint8_t(disks[i][4]));
        SetRecordU32(r, at + 20, uint32_t(disks[i][5]));
    }
    return r;
}

QStringList Rows(const QTreeWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c) cells << list->topLevelItem(i)->text(c);
        rows << cells.join('|');
    }
    return rows;
}

}  // namespace

class StoragePagesTest : public QObject {
    Q_OBJECT

private slots:
    // The list shows what the device holds; a failed read leaves it empty
    // with "Confirm" and "Setup" disabled; later activations keep the cache.
    void diskList_data() {
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("statuses") << QByteArray()
                                  << QStringList{"1|1000MB|10MB|Sleep|2|redundancy",
                                                 "3|2000MB|2000MB|Unknow|1|Readonly",
                                                 "4|500MB|0MB|Normal-Expand|16|Normal"}
                                  << true;
        QTest::newRow("read fails")
            << QByteArray("ANTS_NET_DVR_GetDVRConfig") << QStringList{} << false;
    }
    void diskList() {
        QFETCH(QByteArray, failing);
        QFETCH(QStringList, rows);
        QFETCH(bool, enabled);
        QVERIFY(ResetAnts(""));
        AntsWindow a;
        const QByteArray disks =
            DiskRecord({{1, 1000, 10, 5, 1, 2}, {3, 2000, 2000, 9, 2, 1}, {4, 500, 0, 7, 0, 16}});
        QVERIFY(a.device()->SetDVRConfig(257, 0, disks.constData(), int(disks.size())));
        auto lib = vendors::VendorLibrary::Open("AntsNetSDK");
        ZynVendorEmu_Fail_t fail = nullptr;
        QVERIFY(lib->Get("ZynVendorEmu_Fail", &fail));
        fail(failing.constData());
        auto* page = a.Show<CDlgHardDiskCfg>();
        QTRY_VERIFY(page->isVisible());
        auto* list = Child<QTreeWidget>(page, 654);
        QCOMPARE(Rows(list), rows);
        QCOMPARE(Child<QPushButton>(page, 659)->isEnabled(), enabled);
        QCOMPARE(Child<QPushButton>(page, 661)->isEnabled(), enabled);
        if (enabled) {
            QCOMPARE(Child<QComboBox>(page, 658)->count(), 16);
            QCOMPARE(Child<QComboBox>(page, 663)->itemText(1), QString("3"));
            Screenshot(page, "page_disk_management_ants.png");
        }
        fail("");
        a.Show<CDlgHardDiskCfg>();
        QCOMPARE(Rows(list), rows);  // cached, not read again
    }

    // "Confirm" writes the chosen disk's attribute and group; "Setup" the
    // ticked channels of the chosen group; each says how it went.
    void confirmAndSetup_data() {
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<QString>("tip");
        QTest::newRow("written") << QByteArray()
                                 << QString("tips: Save parameter successfully, please reboot!");
        QTest::newRow("write fails")
            << QByteArray("ANTS_NET_DVR_SetDVRConfig") << QString("tips: Save parameter failed");
    }
    void confirmAndSetup() {
        QFETCH(QByteArray, failing);
        QFETCH(QString, tip);
        QVERIFY(ResetAnts(failing));
        AntsWindow a;
        const QByteArray disks_before = a.Record(158, 1160), groups_before = a.Record(159, 456);
        auto* page = a.Show<CDlgHardDiskCfg>();
        QTRY_VERIFY(page->isVisible());
        Child<QComboBox>(page, 663)->setCurrentIndex(1);
        Child<QRadioButton>(page, 657)->click();
        Child<QComboBox>(page, 658)->setCurrentIndex(4);
        Child<QPushButton>(page, 659)->click();
        auto* channels = Child<QListWidget>(page, 664);
        QCOMPARE(channels->count(), 4);
        channels->item(0)->setCheckState(Qt::Unchecked);
        channels->item(2)->setCheckState(Qt::Unchecked);
        Child<QPushButton>(page, 661)->click();
        QCOMPARE(a.tips, (QStringList{tip, tip}));

        const QByteArray disks = a.Record(158, 1160), groups = a.Record(159, 456);
        if (!failing.isEmpty()) {
            QCOMPARE(disks, disks_before);
            QCOMPARE(groups, groups_before);
            return;
        }
        QByteArray want = disks_before;
        SetRecordU8(want, 8 + 36 + 16, 2);   // second disk read only
        SetRecordU32(want, 8 + 36 + 20, 5);  // in group 5
        QCOMPARE(disks, want);
        want = groups_before;
        SetRecordU8(want, 12, 0);
        SetRecordU8(want, 14, 0);
        QCOMPARE(groups, want);
        QCOMPARE(RecordU32(groups, 8), 1u);
        QCOMPARE(Rows(Child<QTreeWidget>(page, 654)).value(1).section('|', 4),
                 QString("5|Readonly"));
    }

    // Expansion of the selected disk: only a disk that can expand starts,
    // the progress shows until the device reports the end.
    void expand_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("status");
        QTest::newRow("no row") << -1 << QByteArray() << QString() << QString();
        QTest::newRow("normal disk")
            << 0 << QByteArray() << QString("tips: Not support expand") << QString();
        QTest::newRow("expands") << 1 << QByteArray() << QString() << QString("Success");
        QTest::newRow("exception") << 1 << QByteArray("ANTS_NET_DVR_GetExpandProgress") << QString()
                                   << QString("Expand exception");
    }
    void expand() {
        QFETCH(int, row);
        QFETCH(QByteArray, failing);
        QFETCH(QString, tip);
        QFETCH(QString, status);
        QVERIFY(ResetAnts(failing));
        AntsWindow a;
        auto* page = a.Show<CDlgHardDiskCfg>();
        QTRY_VERIFY(page->isVisible());
        auto* list = Child<QTreeWidget>(page, 654);
        if (row >= 0) list->setCurrentItem(list->topLevelItem(row));
        Child<QPushButton>(page, 666)->click();
        QCOMPARE(a.tips, tip.isEmpty() ? QStringList{} : QStringList{tip});
        auto* label = Child<QLabel>(page, 667);
        if (status.isEmpty()) {
            QVERIFY(VendorCalls().filter("ANTS_NET_DVR_ExpandDisk").isEmpty());
            return;
        }
        QVERIFY(VendorCalls().contains(
            QString("ANTS_NET_DVR_ExpandDisk(%1,2)").arg(a.device()->LoginHandle())));
        if (failing.isEmpty()) QTRY_VERIFY(label->text().startsWith("Process:"));
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), status, 10000);
        QCOMPARE(VendorCalls().filter("ANTS_NET_DVR_CloseExpandHandle").size(), 1);
    }

    // The format dialog opens without blocking, formats all disks (255) or
    // one, shows the progress until done and closes its handles on "Exit".
    void format_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("state");
        QTest::newRow("all disks") << 0 << QByteArray() << QString("255")
                                   << QString("Status: format hard disk successfully");
        QTest::newRow("second disk") << 2 << QByteArray() << QString("2")
                                     << QString("Status: format hard disk successfully");
        QTest::newRow("fails") << 0 << QByteArray("ANTS_NET_DVR_FormatDisk") << QString("255")
                               << QString("Format fail");
    }
    void format() {
        QFETCH(int, entry);
        QFETCH(QByteArray, failing);
        QFETCH(QString, call);
        QFETCH(QString, state);
        QVERIFY(ResetAnts(failing));
        AntsWindow a;
        auto* page = a.Show<CDlgHardDiskCfg>();
        QTRY_VERIFY(page->isVisible());
        Child<QPushButton>(page, 315)->click();
        CDlgFormatHD* dlg = page->format_dialog();
        QVERIFY(dlg);
        QTRY_VERIFY(dlg->isVisible());
        auto* disks = Child<QComboBox>(dlg, 671);
        QCOMPARE(disks->count(), 3);
        QCOMPARE((QStringList{disks->itemText(0), disks->itemText(1), disks->itemText(2)}),
                 (QStringList{"All Hard Disk", "HD1", "HD2"}));
        disks->setCurrentIndex(entry);
        auto* format = Child<QPushButton>(dlg, 669);
        format->click();
        QVERIFY(VendorCalls().contains(
            QString("ANTS_NET_DVR_FormatDisk(%1,%2)").arg(a.device()->LoginHandle()).arg(call)));
        auto* text = Child<QLabel>(dlg, 673);
        if (failing.isEmpty()) {
            QCOMPARE(text->text(), QString("Status:Is to reformat your hard disk, please wait"));
            QCOMPARE(format->isEnabled(), entry != 0);
            Screenshot(dlg, "dialog_format_hdd_ants.png");
        }
        QTRY_COMPARE_WITH_TIMEOUT(text->text(), state, 15000);
        if (failing.isEmpty()) {
            QCOMPARE(dlg->findChild<QProgressBar*>()->value(), 100);
            QVERIFY(format->isEnabled());
            QCOMPARE(VendorCalls().filter("ANTS_NET_DVR_CloseFormatHandle").size(), 1);
        }
        Child<QPushButton>(dlg, 670)->click();
        QTRY_VERIFY(page->format_dialog() == nullptr);
    }

    // IP channels: cameras found on the LAN are ticked when a channel uses
    // them already; a ticked camera goes to the selected channel and is
    // written with its RTSP streams; other channels keep what was read.
    void ipChannels_data() {
        QTest::addColumn<bool>("search");
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("tip");
        QTest::newRow("no search keeps all")
            << false << QByteArray() << QStringList{} << QString("tips: Set success");
        QTest::newRow("search and assign")
            << true << QByteArray()
            << QStringList{"01|127.0.0.81|8000|ANTS|IPC-1|ticked",
                           "02|127.0.0.82|8000|ONVIF|IPC-2|", "03|127.0.0.83|8000|RTSP|IPC-3|"}
            << QString("tips: Set success");
        QTest::newRow("search fails")
            << true << QByteArray("ANTS_NET_DVR_SearchDeviceOnLAN")
            << QStringList{"|Search  fail||||"} << QString("tips: Set success");
        QTest::newRow("write fails") << false << QByteArray("ANTS_NET_DVR_SetDVRConfig")
                                     << QStringList{} << QString("tips: Set failed");
    }
    void ipChannels() {
        QFETCH(bool, search);
        QFETCH(QByteArray, failing);
        QFETCH(QStringList, found);
        QFETCH(QString, tip);
        auto lib = vendors::VendorLibrary::Open("AntsNetSDK");
        ZynVendorEmu_Reset_t reset = nullptr;
        ZynVendorEmu_Fail_t fail = nullptr;
        QVERIFY(lib->Get("ZynVendorEmu_Reset", &reset) && lib->Get("ZynVendorEmu_Fail", &fail));
        reset(NextDevice("ants",
                         "name=ANTS-NVR-1 data_port=8000 channels=4 lan_cameras=3 "
                         "user=admin password=12345")
                  .constData());
        AntsWindow a;
        // Channel 1 already uses camera 1, channel 3 a camera the search does not find.
        QByteArray table = a.Record(200, 11524);
        std::memcpy(table.data() + 4, "127.0.0.81", 10);
        std::memcpy(table.data() + 4 + 2 * 360, "10.1.1.9", 8);
        std::memcpy(table.data() + 4 + 2 * 360 + 88, "rtsp://10.1.1.9/x", 17);
        QVERIFY(a.device()->SetDVRConfig(297, 0, table.constData(), int(table.size())));
        fail(failing.constData());

        auto* page = a.Show<CDlgRemoteIPAccess>();
        QTRY_VERIFY(page->isVisible());
        auto* channels = Child<QTreeWidget>(page, 712);
        QCOMPARE(Rows(channels), (QStringList{"01|127.0.0.81", "02|", "03|10.1.1.9", "04|"}));
        auto* cameras = Child<QTreeWidget>(page, 715);
        if (search) {
            Child<QPushButton>(page, 716)->click();
            QStringList rows = Rows(cameras);
            for (int i = 0; i < rows.size(); ++i)
                rows[i] += cameras->topLevelItem(i)->checkState(0) == Qt::Checked ? "|ticked" : "|";
            QCOMPARE(rows, found);
            QCOMPARE(Child<QPushButton>(page, 716)->text(), QString("Search"));
        }
        if (search && failing.isEmpty()) {
            channels->setCurrentItem(channels->topLevelItem(3));
            cameras->topLevelItem(2)->setCheckState(0, Qt::Checked);
            QCOMPARE(Rows(channels).value(3), QString("04|127.0.0.83"));
            Screenshot(page, "page_ip_channels_ants.png");
        }
        Child<QPushButton>(page, 711)->click();
        QCOMPARE(a.tips, QStringList{tip});

        fail("");
        QByteArray want = table;
        if (search && failing.isEmpty()) {
            char* e = want.data() + 4 + 3 * 360;
            std::memcpy(e, "127.0.0.83", 10);
            SetRecordU32(want, 4 + 3 * 360 + 16, 8000);
            std::memcpy(e + 40, "admin", 5);
            std::memcpy(e + 72, "12345", 5);
            std::strcpy(e + 88, "rtsp://127.0.0.83:554/main");
            std::strcpy(e + 216, "rtsp://127.0.0.83:554/sub");
            // Channel 1's camera is found again: written from the search.
            e = want.data() + 4;
            SetRecordU32(want, 4 + 16, 8000);
            std::memcpy(e + 40, "admin", 5);
            std::memcpy(e + 72, "12345", 5);
            std::strcpy(e + 88, "rtsp://127.0.0.81:554/main");
            std::strcpy(e + 216, "rtsp://127.0.0.81:554/sub");
        }
        QCOMPARE(a.Record(200, 11524), want);
    }

    // Storage devices of a LangChi device: the target and network-disk
    // settings written back, sizes cut to whole gigabytes, and the ticked
    // media formatted before the list is read again.
    void storageDevices_data() {
        QTest::addColumn<bool>("fails");
        QTest::addColumn<bool>("tick");
        QTest::newRow("saved, medium formatted") << false << true;
        QTest::newRow("write fails, none ticked") << true << false;
    }
    void storageDevices() {
        QFETCH(bool, fails);
        QFETCH(bool, tick);
        QVERIFY(ResetVendor("NetClient",
                            NextDevice("camsearch",
                                       "name=LC-1 data_port=5000 channels=2 "
                                       "alarm_in=3 alarm_out=1 user=570431 "
                                       "password=570431"),
                            ""));
        AntsWindow a(kDeviceTypeLangChi);
        auto* page = a.Show<CStorageDeviceDlg>();
        QTRY_VERIFY(page->isVisible());
        auto* media = Child<QTreeWidget>(page, 257);
        QCOMPARE(Rows(media), QStringList{"0|SD Card|29G|11G"});  // 30436 MB, 12000 MB
        QVERIFY(Child<QRadioButton>(page, 692)->isChecked());
        QVERIFY(Child<QRadioButton>(page, 285)->isChecked());
        Child<QRadioButton>(page, 693)->click();
        Child<QRadioButton>(page, 288)->click();
        Child<QLineEdit>(page, 694)->setText("127.0.0.9");
        Child<QLineEdit>(page, 695)->setText(QString(200, 'p'));  // cut to the field
        Child<QLineEdit>(page, 696)->setText("nas");
        Child<QLineEdit>(page, 697)->setText("secret");
        Screenshot(page, "page_storage_devices_langchi.png");
        QVERIFY(SetFailing("NetClient", fails ? "NetClient_Ord126" : ""));
        Child<QPushButton>(page, 698)->click();
        QCOMPARE(a.tips, QStringList{fails ? "tips: Set failed" : "tips: Set success"});
        QVERIFY(SetFailing("NetClient", ""));

        QByteArray target(372, '\0');
        QVERIFY(a.langchi()->LangChiConfig(0, 394, 0, reinterpret_cast<intptr_t>(target.data()),
                                           372, 0));
        QByteArray want(372, '\0');
        if (!fails) {
            want[0] = 1;
            want[2] = 1;
            std::memcpy(want.data() + 4, "127.0.0.9", 9);
            std::memset(want.data() + 132, 'p', 127);
            std::memcpy(want.data() + 260, "nas", 3);
            std::memcpy(want.data() + 316, "secret", 6);
        }
        QCOMPARE(target, want);

        if (tick) media->topLevelItem(0)->setCheckState(0, Qt::Checked);
        const int reads = Calls("NetClient").filter(",52,").size();
        Child<QPushButton>(page, 700)->click();
        QCOMPARE(Calls("NetClient").filter(",53,0,").size(), tick ? 1 : 0);
        QCOMPARE(Calls("NetClient").filter(",52,").size(), reads + 1);  // read again
        QCOMPARE(Rows(media), QStringList{"0|SD Card|29G|11G"});
    }

    // The serial line of a channel as the device holds it (an unknown baud
    // rate shows as 4800), written back with the other bytes kept; a
    // protocol file upload shows the device's new protocol name.
    void serialAndProtocol() {
        QVERIFY(ResetVendor("NetClient",
                            NextDevice("camsearch",
                                       "name=LC-1 data_port=5000 channels=2 "
                                       "alarm_in=3 alarm_out=1 user=570431 "
                                       "password=570431"),
                            ""));
        AntsWindow a(kDeviceTypeLangChi);
        auto lib = vendors::NetClientLib::Load();
        QVERIFY(lib);
        QByteArray before(16, '\0');
        SetRecordU32(before, 0, 19200);
        for (int i = 4; i < 16; ++i) before[i] = char(0x30 + i);
        before[8] = 6, before[9] = 1, before[10] = 1, before[11] = 2, before[12] = 7;
        QVERIFY(lib->NetClient_Ord57(g_ip.constData(), "", g_ip.constData(), 1, "570431", "570431",
                                     before.constData(), 5000));
        auto* page = a.Show<CDlgSerialCfg>();
        QTRY_VERIFY(page->isVisible());
        auto* channel = Child<QComboBox>(page, 680);
        QVERIFY(channel->isEnabled());
        channel->setCurrentIndex(1);
        auto text = [&](int id) { return Child<QComboBox>(page, id)->currentText(); };
        QCOMPARE((QStringList{Child<QLineEdit>(page, 674)->text(), text(675), text(677), text(679),
                              text(676), text(678), Child<QLineEdit>(page, 684)->text()}),
                 (QStringList{"7", "4800", "6", "2", QString::fromUtf8("偶校验"),
                              QString::fromUtf8("无"), "PELCO-D"}));
        Screenshot(page, "page_ptz_protocol_langchi.png");

        Child<QLineEdit>(page, 674)->setText("200");
        Child<QComboBox>(page, 675)->setCurrentIndex(0);
        Child<QComboBox>(page, 677)->setCurrentIndex(0);
        Child<QComboBox>(page, 679)->setCurrentIndex(0);
        Child<QComboBox>(page, 676)->setCurrentIndex(4);
        Child<QComboBox>(page, 678)->setCurrentIndex(1);
        Child<QPushButton>(page, 1)->click();
        QByteArray after(16, '\0');
        QVERIFY(
            lib->NetClient_Ord56("", g_ip.constData(), 1, "570431", "570431", after.data(), 5000));
        QByteArray want = before;
        SetRecordU32(want, 0, 2400);
        want[8] = 5, want[9] = 2, want[10] = 0, want[11] = 4, want[12] = char(200);
        QCOMPARE(after.toHex(), want.toHex());

        Child<QPushButton>(page, 682)->click();  // no file chosen: nothing sent
        QVERIFY(Calls("NetClient").filter("NetClient_Ord81").isEmpty());
        QTemporaryDir dir;
        const QString file = dir.filePath("ACME-X.ptz");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        Child<QLineEdit>(page, 686)->setText(file);
        Child<QPushButton>(page, 682)->click();
        QCOMPARE(a.tips, QStringList{"tips: PTZ protocol uploaded"});
        QCOMPARE(Child<QLineEdit>(page, 684)->text(), QString("ACME-X"));
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    StoragePagesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "storage_pages_test.moc"
