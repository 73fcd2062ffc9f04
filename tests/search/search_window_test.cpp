// The window: a search over every maker's emulation (and, inside the private
// namespace, the emulator's QV and own devices), the sort, the commands on
// the selected row, and both dialogs. Runs under Xvfb when a display is there
// and leaves screenshots in artifacts/search; offscreen otherwise.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "search/modify_dialog.h"
#include "search/search_dlg.h"
#include "search/ui_support.h"
#include "search/update_dlg.h"
#include "tests/search/emu_control.h"
#include "tools/devsim/devsim.h"
#include "tools/devsim/qv_device.h"

using namespace zynsearch;

namespace {

const char kEveryMaker[] =
    "i8 ip=127.0.0.31 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:31:00:00:01 id=I8NVR0001 "
    "model=NVR-16CH data_port=8000 web_port=80 user=admin password=\n"
    "camsearch ip=127.0.0.41 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:41:00:00:01 name=TI-Cam-1 "
    "data_port=5000 web_port=80 user=570431 password=570431\n"
    "netsdk ip=127.0.0.51 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:51:00:00:01 name=HI-Cam-1 "
    "data_port=34567 web_port=80 extra2=9 user=admin password=\n"
    "js ip=127.0.0.61 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:61:00:00:01 name=JS-ICR-1 "
    "id=JS0001 data_port=554 web_port=8080 user=admin password=vupra\n"
    "i8 ip=1.2.3.4;reboot mac=00:12:31:00:00:09 id=I8BAD data_port=8000 web_port=80\n";

struct Captured {
    QStringList messages, urls, programs;
};

void Snap(QWidget* w, const QString& name) {
    w->grab().save(search_test::ArtifactPath(name));
}

QTreeWidgetItem* RowWithIp(QTreeWidget* list, const QString& ip) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(2) == ip) return list->topLevelItem(i);
    return nullptr;
}

}  // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT

    Captured cap_;

private slots:
    void initTestCase() {
        Hooks().message = [this](const QString& caption, const QString& text, QMessageBox::Icon) {
            cap_.messages << caption + ": " + text;
        };
        Hooks().open_url = [this](const QUrl& url) {
            cap_.urls << url.toString();
            return true;
        };
        Hooks().run_program = [this](const QString&, const QString& program,
                                     const QStringList& args) {
            cap_.programs << program + " " + args.join(' ');
        };
    }
    void init() {
        cap_ = {};
        search_test::ResetAll(kEveryMaker);
    }

    void searchListsEveryMaker() {
        bool lan = InPrivateNetworkNamespace();
        std::unique_ptr<devsim::QvEmulator> qv;
        std::unique_ptr<devsim::Emulator> own;
        if (lan) {
            devsim::QvDeviceConfig c;
            c.ip = "127.0.0.20";
            c.cam_count = 4;
            qv = std::make_unique<devsim::QvEmulator>(std::vector<devsim::QvDeviceConfig>{c}, true);
            std::string error;
            QVERIFY2(qv->Start(&error), error.c_str());
            devsim::Config cfg;
            cfg.search = true;
            cfg.devices.resize(1);
            cfg.devices[0].channel_count = 1;
            cfg.devices[0].main = {160, 120, 5, 64, 5, 1};
            cfg.devices[0].sub = {160, 120, 5, 64, 5, 1};
            own = std::make_unique<devsim::Emulator>(cfg);
            QVERIFY2(own->Start(&error), error.c_str());
        }
        CSearchDlg dlg(lan);
        dlg.set_search_window_ms(2500);
        dlg.show();
        auto* search = dlg.findChild<QPushButton*>("ctl1000");
        QVERIFY(search);
        search->click();
        QVERIFY(!search->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(search->isEnabled(), 8000);
        QTreeWidget* list = dlg.list();
        QStringList types;
        for (int i = 0; i < list->topLevelItemCount(); ++i) types << list->topLevelItem(i)->text(6);
        types.sort();
        QStringList want{"ICR", "IPC-HI NEW", "IPC-TI", "NVR", "NVR"};
        if (lan)
            want << "IPC-HI"
                 << "ZynVS";
        want.sort();
        QCOMPARE(types, want);
        QTreeWidgetItem* i8 = RowWithIp(list, "127.0.0.31");
        QVERIFY(i8);
        QCOMPARE(i8->text(1), QString("00:12:31:00:00:01"));
        QCOMPARE(i8->text(3), QString("8000"));
        QCOMPARE(i8->text(5), QString("127.0.0.1"));
        QCOMPARE(list->headerItem()->text(3), QString("Data port"));
        QCOMPARE(list->viewport()->palette().color(QPalette::Base), QColor(0xBB, 0xBF, 0xC2));
        Snap(&dlg, "main_window.png");

        // Commands on the selection: addresses only, never device text.
        dlg.OpenIESelected();
        dlg.Ping();
        QVERIFY(cap_.urls.isEmpty() && cap_.programs.isEmpty());  // nothing selected
        list->setCurrentItem(RowWithIp(list, "127.0.0.61"));
        dlg.OpenIESelected();
        dlg.Ping();
        QCOMPARE(cap_.urls, QStringList{"http://127.0.0.61:8080"});
        QCOMPARE(cap_.programs, QStringList{"ping 127.0.0.61"});
        list->setCurrentItem(RowWithIp(list, "1.2.3.4;reboot"));
        dlg.OpenIESelected();
        dlg.Ping();
        QCOMPARE(cap_.urls.size(), 1);
        QCOMPARE(cap_.programs.size(), 1);
        // Checked rows open one page each.
        RowWithIp(list, "127.0.0.31")->setCheckState(0, Qt::Checked);
        RowWithIp(list, "127.0.0.41")->setCheckState(0, Qt::Checked);
        dlg.OpenIE();
        QCOMPARE(cap_.urls.size(), 3);
        // Reboot from the button: the result in the "tips" box.
        list->setCurrentItem(RowWithIp(list, "127.0.0.51"));
        dlg.findChild<QPushButton*>("ctl1003")->click();
        QTRY_COMPARE_WITH_TIMEOUT(cap_.messages, QStringList{"tips: Has restarted"}, 5000);
        if (!lan) return;
        // The own device: reboot and change through the SDK's search, without a login.
        QTreeWidgetItem* zyn = nullptr;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(6) == "ZynVS") zyn = list->topLevelItem(i);
        QVERIFY(zyn);
        list->setCurrentItem(zyn);
        dlg.Reboot();
        QVERIFY(own->log().WaitForCommand(0x0F03, 3000));
        _stNetDeviceAddr r;
        QVERIFY(dlg.Selected(&r));
        CopyText(r.ip, std::string("127.0.0.9"));
        QCOMPARE(dlg.engine().actions().Modify(r, "127.0.0.1"),
                 std::string("Successfully modified"));
        auto change = own->log().WaitForCommand(0x0F02, 3000);
        QVERIFY(change && change->payload.size() == 80);
        QCOMPARE(int(change->payload[24]), 9);  // 127.0.0.9, last octet first
        QCOMPARE(int(change->payload[27]), 127);
    }

    void languageReachesTheWindow_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("search");
        QTest::newRow("french") << 2 << "Rechercher";
        QTest::newRow("english") << 0 << "Search";
    }
    void languageReachesTheWindow() {
        QFETCH(int, language);
        QFETCH(QString, search);
        QTemporaryDir dir;
        QFile ini(dir.filePath("Vexora.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[LanguageType]\nLanguage=" + QByteArray::number(language) + "\n");
        ini.close();
        QFile fr(dir.filePath("qxr_French.ini"));
        QVERIFY(fr.open(QIODevice::WriteOnly));
        fr.write("Search=Rechercher\n");
        fr.close();
        AppLanguage().Load(dir.path().toStdString());
        {
            CSearchDlg dlg(false);
            QCOMPARE(dlg.findChild<QPushButton*>("ctl1000")->text(), search);
        }
        AppLanguage().Load(QTemporaryDir().path().toStdString());  // back to English
    }

    void sortByNumberIsDescendingText() {
        std::string lines;
        for (int i = 1; i <= 12; ++i)
            lines += "i8 ip=127.0.0." + std::to_string(100 + i) + " id=ID" + std::to_string(i) +
                     " mac=00:00:00:00:00:" + std::to_string(10 + i) + "\n";
        search_test::ResetAll(lines);
        CSearchDlg dlg(false);
        dlg.set_search_window_ms(1500);
        dlg.Search();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.searching(), 5000);
        QCOMPARE(dlg.list()->topLevelItemCount(), 12);
        dlg.SortByColumn(0);
        QStringList order;
        for (int i = 0; i < 12; ++i) order << dlg.list()->topLevelItem(i)->text(0);
        QCOMPARE(order, QString("9 8 7 6 5 4 3 2 12 11 10 1").split(' '));
        // The record moved with its texts.
        QTreeWidgetItem* first = dlg.list()->topLevelItem(0);
        _stNetDeviceAddr r;
        dlg.list()->setCurrentItem(first);
        QVERIFY(dlg.Selected(&r));
        QCOMPARE(QString::fromStdString(Text(r.ip)), first->text(2));
    }

    void modifyDialog() {
        _stNetDeviceAddr r{};
        CopyText(r.ip, std::string("127.0.0.31"));
        CopyText(r.mask, std::string("255.0.0.0"));
        CopyText(r.gateway, std::string("127.0.0.1"));
        CopyText(r.mac, std::string("00:12:31:00:00:01"));
        r.data_port = 8000;
        r.web_port = 80;
        r.maker_type = kMakerI8;
        CModifyDialog dlg(r);
        dlg.show();
        auto edit = [&](int id) { return dlg.findChild<QLineEdit*>(QString("ctl%1").arg(id)); };
        for (int id : {9026, 9028, 9030, 9032, 9034, 9036, 1008})
            QVERIFY2(edit(id), qPrintable(QString::number(id)));
        QCOMPARE(edit(9034)->text(), QString("8000"));
        QVERIFY(dlg.findChild<QPushButton*>("ctl1018")->isHidden());
        Snap(&dlg, "modify_dialog.png");
        edit(9026)->setText("127.0.0.35");
        edit(9032)->setText("8100");  // the control-port edit becomes the data port
        edit(9034)->setText("9999");  // not read back
        edit(9036)->setText("88");
        dlg.findChild<QPushButton*>("ctl1")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Text(dlg.record().ip), std::string("127.0.0.35"));
        QCOMPARE(int(dlg.record().data_port), 8100);
        QCOMPARE(int(dlg.record().web_port), 88);
    }

    void updateDialogShowsProgress() {
        search_test::ResetAll(
            "i8 ip=127.0.0.31 data_port=8000 user=admin password=pw upgrade_ms=1500\n");
        _stNetDeviceAddr r{};
        CopyText(r.ip, std::string("127.0.0.31"));
        r.data_port = 8000;
        r.maker_type = kMakerI8;
        CUpdateDlg dlg(VendorSet::Load(), r);
        dlg.show();
        dlg.findChild<QPushButton*>("ctl1006")->click();
        QCOMPARE(cap_.messages, QStringList{"tips: please select upgrade file"});
        QTemporaryDir dir;
        QFile f(dir.filePath("fw.bin"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("firmware");
        f.close();
        dlg.SetFile(f.fileName());
        dlg.findChild<QLineEdit*>("ctl1017")->setText("pw");
        dlg.findChild<QPushButton*>("ctl1006")->click();
        auto* bar = dlg.findChild<QProgressBar*>("ctl1013");
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible() && bar->value() > 20 && bar->value() < 100, 3000);
        Snap(&dlg, "update_dialog.png");
        QTRY_VERIFY_WITH_TIMEOUT(dlg.finished(), 5000);
        QCOMPARE(bar->value(), 100);
        QCOMPARE(dlg.findChild<QLabel*>("ctl1007")->text(), QString("Status:upgrade successfully"));
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    SearchWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "search_window_test.moc"
