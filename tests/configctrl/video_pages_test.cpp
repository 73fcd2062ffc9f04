// The video coding page against the emulated ANTS and LangChi libraries and
// the emulator's QV device: what a load shows from the device's records, the
// bytes a save leaves in them, and switching channels. Leaves a screenshot
// per vendor in artifacts/configctrl.
#include <QDir>
#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/pages/video_coding_dlg.h"
#include "configctrl/window/tips_box.h"
#include "tools/devsim/qv_device.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;

namespace {

bool ResetVendor(const char* library) {
    auto lib = vendors::VendorLibrary::Open(library);
    ZynVendorEmu_Reset_t reset = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Reset", &reset)) return false;
    reset(
        "ants ip=127.0.0.71 name=NVR data_port=8000 channels=4 alarm_in=4 alarm_out=2 "
        "user=admin password=12345\n"
        "camsearch ip=127.0.0.41 name=LC data_port=5000 channels=2 alarm_in=3 alarm_out=1 "
        "user=570431 password=570431\n");
    return true;
}

template <typename D>
std::unique_ptr<D> LoggedIn(const char* ip, int port, const char* user, const char* password) {
    auto d = std::make_unique<D>();
    d->SetAddress(ip);
    d->SetHostName(ip);
    d->SetPort(port);
    d->SetUserName(user);
    d->SetPassword(password);
    return d->Login() == 1 ? std::move(d) : nullptr;
}

quint32 U32(const QByteArray& r, int at) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<quint8>(r[at + i]);
    return v;
}
void SetU32(QByteArray& r, int at, quint32 v) {
    for (int i = 0; i < 4; ++i) r[at + i] = static_cast<char>(v >> (8 * i));
}

void Shot(QWidget* w, const QString& name) {
    w->grab().save(page_test::ArtifactPath(name, "configctrl"));
}

// The window around one device, the page shown in its frame.
std::unique_ptr<CFrontSetDialog> Window(std::unique_ptr<CDevice> device, int type, int channels) {
    auto w = std::make_unique<CFrontSetDialog>(nullptr);
    w->SetDevice(std::move(device), type);
    w->SetCounts(channels, 1, 1);
    w->Create();
    w->show();
    return w;
}

}  // namespace

class VideoPagesTest : public QObject {
    Q_OBJECT

private slots:
    void codingConversions() {
        QCOMPARE(CVideoCodingDlg::LangChiMainSizeEntry(3), 3);
        QCOMPARE(CVideoCodingDlg::LangChiMainSizeEntry(4), 3);
        QCOMPARE(CVideoCodingDlg::LangChiMainSizeEntry(42), 15);
        QCOMPARE(CVideoCodingDlg::LangChiMainSizeEntry(13), -1);
        QCOMPARE(CVideoCodingDlg::AntsBitRate(7), 160);
        QCOMPARE(CVideoCodingDlg::AntsBitRate(0x80000000u | 3000), 3000);
        QCOMPARE(CVideoCodingDlg::AntsBitRate(23), -1);
        QByteArray truncated(100, '\x7f');  // a section count far past the end
        QCOMPARE(CVideoCodingDlg::AntsFrameRateCode(truncated, 25), 0);
        QCOMPARE(CVideoCodingDlg::AntsFrameRateText(truncated, 3), QString());
    }

    // ANTS: the record's custom and coded bit rates, frame-rate codes through
    // the ability list, and a save: top bit on the typed rate, an unknown
    // frame rate stored as code 0, size codes untouched.
    void antsLoadAndSave() {
        QVERIFY(ResetVendor("AntsNetSDK"));
        auto device = LoggedIn<CANTSDevice>("127.0.0.71", 8000, "admin", "12345");
        QVERIFY(device);
        CANTSDevice* ants = device.get();
        QByteArray rec(CVideoCodingDlg::kAntsRecordBytes, '\0');
        int got = 0;
        QVERIFY(ants->GetDVRConfig(104, 1, rec.data(), rec.size(), &got));
        rec[5] = 20;         // XVGA
        SetU32(rec, 92, 7);  // sub: code 7
        SetU32(rec, 96, 9);  // sub: the tenth frame rate, "10"
        QVERIFY(ants->SetDVRConfig(204, 1, rec.constData(), rec.size()));

        auto w = Window(std::move(device), kDeviceTypeAnts, 4);
        auto* page = w->page<CVideoCodingDlg>();
        QVERIFY(page);
        QCOMPARE(page->size_list(0)->count(), 10);
        page->Activate(0, 0);
        QCOMPARE(page->bit_rate(0)->text(), QString("2048"));
        QCOMPARE(page->frame_rate(0)->text(), QString("25"));
        QCOMPARE(page->size_list(0)->currentText(), QString("XVGA"));
        QCOMPARE(page->bit_rate(1)->text(), QString("160"));
        QCOMPARE(page->frame_rate(1)->text(), QString("10"));
        QCOMPARE(page->size_list(1)->currentText(), QString("DCIF"));  // code 1 selects nothing
        w->SwitchPage(w->visible_page(), page);
        Shot(w.get(), "video_coding_ants.png");

        page->bit_rate(0)->setText("3000");
        page->frame_rate(0)->setText("30");  // not in the device's list
        page->frame_rate(1)->setText("12");
        page->iframe(1)->setText("77");
        page->mode_list(1)->setCurrentIndex(1);
        QTest::mouseClick(page->ok_button(), Qt::LeftButton);
        QVERIFY(ants->GetDVRConfig(104, 1, rec.data(), rec.size(), &got));
        QCOMPARE(U32(rec, 8), 0x80000000u | 3000);
        QCOMPARE(U32(rec, 12), 0u);
        QCOMPARE(U32(rec, 96), 11u);
        QCOMPARE(int(quint8(rec[100])) | int(quint8(rec[101])) << 8, 77);
        QCOMPARE(int(rec[90]), 1);
        QCOMPARE(int(rec[5]), 20);
    }

    // LangChi: size codes mapped to entries, and a save writing main then
    // sub for the page's channel, the main size code left as it was.
    void langChiLoadAndSave_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("entry");
        QTest::newRow("42") << 42 << "1600*1200@25HZ";
        QTest::newRow("3") << 3 << "D1";
        QTest::newRow("4") << 4 << "D1";
        QTest::newRow("41") << 41 << "1920*1080@25HZ";
    }
    void langChiLoadAndSave() {
        QFETCH(int, code);
        QFETCH(QString, entry);
        QVERIFY(ResetVendor("NetClient"));
        auto device = LoggedIn<CLangChiDevice>("127.0.0.41", 5000, "570431", "570431");
        QVERIFY(device);
        CLangChiDevice* lc = device.get();
        auto io = [&](int command, QByteArray& r) {
            return lc->LangChiConfig(0, command, 0, reinterpret_cast<intptr_t>(r.data()), r.size(),
                                     0);
        };
        QByteArray main(132, '\0'), sub(132, '\0');
        QVERIFY(io(8, main));
        SetU32(main, 20, static_cast<quint32>(code));
        QVERIFY(io(9, main));

        auto w = Window(std::move(device), kDeviceTypeLangChi, 2);
        auto* page = w->page<CVideoCodingDlg>();
        QVERIFY(page);
        QCOMPARE(page->size_list(0)->count(), 16);
        QCOMPARE(page->size_list(0)->itemText(0), QString("QCIF "));
        page->Activate(0, 0);
        QCOMPARE(page->size_list(0)->currentText(), entry);
        QVERIFY(io(47, sub));
        QCOMPARE(page->bit_rate(0)->text(), QString::number(U32(main, 44)));
        QCOMPARE(page->frame_rate(0)->text(), QString::number(U32(main, 28)));
        QCOMPARE(page->bit_rate(1)->text(), QString::number(U32(sub, 44)));
        QCOMPARE(page->mode_list(1)->currentIndex(), int(U32(sub, 32)));
        if (code == 42) {
            w->SwitchPage(w->visible_page(), page);
            Shot(w.get(), "video_coding_langchi.png");
        }

        page->bit_rate(0)->setText("1500");
        page->size_list(0)->setCurrentIndex(0);
        page->size_list(1)->setCurrentIndex(3);
        page->bit_rate(1)->setText("256");
        QTest::mouseClick(page->ok_button(), Qt::LeftButton);
        QVERIFY(io(8, main));
        QVERIFY(io(47, sub));
        QCOMPARE(U32(main, 44), 1500u);
        QCOMPARE(U32(main, 20), quint32(code));
        QCOMPARE(U32(sub, 44), 256u);
        QCOMPARE(U32(sub, 20), 3u);
    }

    // QV: both streams' records shown ("1080P" before "720P"), and a save
    // writing main then sub with channel, stream and the 1 at 52.
    void qvLoadAndSave() {
        devsim::QvEmulator sim(std::vector<devsim::QvDeviceConfig>(1), false);
        std::string error;
        QVERIFY2(sim.Start(&error), error.c_str());
        auto device = LoggedIn<CQVDevice>("127.0.0.1", sim.port(0), "admin", "vupra");
        QVERIFY(device);
        CQVDevice* qv = device.get();
        auto read = [&](int stream) {
            QByteArray r(CVideoCodingDlg::kQvRecordBytes, '\0');
            SetU32(r, 0, 56);
            SetU32(r, 8, quint32(stream));
            return qv->GetQVConfig(0, 0x1000000E, 0, r.data(), r.size(), nullptr) == 0
                       ? r
                       : QByteArray();
        };
        auto w = Window(std::move(device), kDeviceTypeQv, 1);
        auto* page = w->page<CVideoCodingDlg>();
        QVERIFY(page);
        QCOMPARE(page->size_list(0)->itemText(5), QString("1080P"));
        QCOMPARE(page->size_list(0)->itemText(6), QString("720P"));
        page->Activate(0, 0);
        const QByteArray main = read(0), sub = read(1);
        QVERIFY(!main.isEmpty() && !sub.isEmpty());
        const int at[] = {40, 24, 48};  // bit rate, frame rate, I-frame interval
        for (int s = 0; s < 2; ++s) {
            const QByteArray& r = s ? sub : main;
            QCOMPARE(page->bit_rate(s)->text(), QString::number(U32(r, at[0])));
            QCOMPARE(page->frame_rate(s)->text(), QString::number(U32(r, at[1])));
            QCOMPARE(page->iframe(s)->text(), QString::number(U32(r, at[2])));
            QCOMPARE(page->size_list(s)->currentIndex(), int(U32(r, 36)));
        }
        w->SwitchPage(w->visible_page(), page);
        Shot(w.get(), "video_coding_qv.png");

        page->size_list(0)->setCurrentIndex(6);
        page->bit_rate(0)->setText("3072");
        page->mode_list(1)->setCurrentIndex(1);
        page->iframe(1)->setText("60");
        QTest::mouseClick(page->ok_button(), Qt::LeftButton);
        const QByteArray m = read(0), b = read(1);
        QCOMPARE(U32(m, 36), 6u);
        QCOMPARE(U32(m, 40), 3072u);
        QCOMPARE(U32(m, 8), 0u);
        QCOMPARE(U32(m, 52), 1u);
        QCOMPARE(U32(b, 8), 1u);
        QCOMPARE(U32(b, 32), 1u);
        QCOMPARE(U32(b, 48), 60u);
        QCOMPARE(U32(b, 52), 1u);
    }

    // Choosing another channel: unsaved changes are saved (Yes) or dropped
    // (No), then the chosen channel is read; without changes nothing is
    // asked.
    void channelSwitch_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("typed");  // "" changes nothing
        QTest::addColumn<bool>("yes");
        QTest::newRow("ants yes") << int(kDeviceTypeAnts) << "999" << true;
        QTest::newRow("ants no") << int(kDeviceTypeAnts) << "888" << false;
        QTest::newRow("langchi yes") << int(kDeviceTypeLangChi) << "777" << true;
        QTest::newRow("langchi unchanged") << int(kDeviceTypeLangChi) << "" << true;
    }
    void channelSwitch() {
        QFETCH(int, type);
        QFETCH(QString, typed);
        QFETCH(bool, yes);
        const bool ants = type == kDeviceTypeAnts;
        QVERIFY(ResetVendor(ants ? "AntsNetSDK" : "NetClient"));
        std::unique_ptr<CDevice> device;
        if (ants)
            device = LoggedIn<CANTSDevice>("127.0.0.71", 8000, "admin", "12345");
        else
            device = LoggedIn<CLangChiDevice>("127.0.0.41", 5000, "570431", "570431");
        QVERIFY(device);
        CDevice* d = device.get();
        // The main bit rate of a channel (from 0) as the device holds it.
        auto rate = [&](int channel) -> int {
            QByteArray r(ants ? 116 : 132, '\0');
            if (ants) {
                int got = 0;
                auto* a = static_cast<CANTSDevice*>(d);
                if (!a->GetDVRConfig(104, channel + 1, r.data(), r.size(), &got)) return -1;
                return CVideoCodingDlg::AntsBitRate(U32(r, 8));
            }
            auto* lc = static_cast<CLangChiDevice*>(d);
            if (!lc->LangChiConfig(0, 8, channel, reinterpret_cast<intptr_t>(r.data()), r.size(),
                                   0))
                return -1;
            return int(U32(r, 44));
        };
        auto write_rate = [&](int channel, quint32 kbps) {
            QByteArray r(ants ? 116 : 132, '\0');
            if (ants) {
                int got = 0;
                auto* a = static_cast<CANTSDevice*>(d);
                a->GetDVRConfig(104, channel + 1, r.data(), r.size(), &got);
                SetU32(r, 8, 0x80000000u | kbps);
                return a->SetDVRConfig(204, channel + 1, r.constData(), r.size()) != 0;
            }
            auto* lc = static_cast<CLangChiDevice*>(d);
            lc->LangChiConfig(0, 8, channel, reinterpret_cast<intptr_t>(r.data()), r.size(), 0);
            SetU32(r, 44, kbps);
            return lc->LangChiConfig(0, 9, channel, reinterpret_cast<intptr_t>(r.data()), r.size(),
                                     0) != 0;
        };
        QVERIFY(write_rate(1, 1111));
        const int before = rate(0);

        QStringList asked;
        CRHYesNoToAllDialog::SetHook([&](const QString& text, CRHYesNoToAllDialog::Buttons) {
            asked << text;
            return yes;
        });
        auto w = Window(std::move(device), type, 2);
        auto* page = w->page<CVideoCodingDlg>();
        QVERIFY(page);
        w->SwitchPage(w->visible_page(), page);
        QCOMPARE(page->bit_rate(0)->text(), QString::number(before));
        if (!typed.isEmpty()) page->bit_rate(0)->setText(typed);
        page->channel_list()->setCurrentIndex(1);
        CRHYesNoToAllDialog::SetHook(nullptr);

        QCOMPARE(asked.size(), typed.isEmpty() ? 0 : 1);
        QCOMPARE(rate(0), typed.isEmpty() || !yes ? before : typed.toInt());
        QCOMPARE(page->bit_rate(0)->text(), QString("1111"));  // channel 2 read
        // A save now writes channel 2, and a later activation reads it again.
        page->bit_rate(0)->setText("1234");
        QTest::mouseClick(page->ok_button(), Qt::LeftButton);
        QCOMPARE(rate(1), 1234);
        w->SwitchPage(page, page);
        QCOMPARE(page->bit_rate(0)->text(), QString("1234"));
    }
};

QTEST_MAIN(VideoPagesTest)
#include "video_pages_test.moc"
