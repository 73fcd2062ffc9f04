// The pages with live video: "Character overlay" for every vendor and the
// own protocol, and the own protocol's motion grid, against the emulated
// vendor libraries and the device emulator. Checks what reaches the
// emulated records, and leaves a screenshot per vendor (with its live
// picture) in artifacts/configctrl/pages.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <array>
#include <memory>

#include "configctrl/control/zyn_config_ctrl.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/live_preview.h"
#include "configctrl/window/page_tree.h"
#include "configctrl/window/pages/dlg_remote_motion_detect.h"
#include "configctrl/window/pages/video_param_dialog.h"
#include "configctrl/window/tips_box.h"
#include "tools/devsim/devsim.h"
#include "tools/devsim/qv_device.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"
#include "zynvs/wire/param_fields.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;
using page_test::ArtifactPath;
using Values = std::array<int, 4>;
Q_DECLARE_METATYPE(Values)

namespace {

template <typename Fn>
Fn Resolve(const char* library, const char* name) {
    static std::vector<std::shared_ptr<vendors::VendorLibrary>> keep;
    auto lib = vendors::VendorLibrary::Open(library);
    Fn fn = nullptr;
    if (lib && lib->Get(name, &fn)) keep.push_back(lib);
    return fn;
}

// What the screen shows of a widget (native video windows included), under
// X11 only; a null image elsewhere.
QImage ScreenShot(QWidget* w) {
    if (QGuiApplication::platformName() != "xcb") return {};
    w->repaint();
    QCoreApplication::processEvents();  // paints the overlay, flushes to the server
    const QString path = ArtifactPath("screen.png");
    QProcess import;
    import.start("import", {"-window", QString::number(w->winId()), path});
    if (!import.waitForFinished(10000) || import.exitCode() != 0) return {};
    return QImage(path);
}

// Whether a part of an image shows a picture: not one flat colour.
bool ShowsPicture(const QImage& image, QRect part) {
    if (image.isNull()) return false;
    int lo = 255, hi = 0;
    part = part.intersected(image.rect());
    for (int y = part.top(); y <= part.bottom(); y += 4)
        for (int x = part.left(); x <= part.right(); x += 4) {
            const int g = qGray(image.pixel(x, y));
            lo = std::min(lo, g);
            hi = std::max(hi, g);
        }
    return hi - lo > 40;
}

void Drag(QWidget* area, QPoint from, QPoint to) {
    QTest::mousePress(area, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, area->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(area, &move);
    QTest::mouseRelease(area, Qt::LeftButton, {}, to);
}

void OpenPage(CFrontSetDialog* w, const QString& item, QWidget* page) {
    QTest::mouseClick(w->tree()->viewport(), Qt::LeftButton, {},
                      w->tree()->visualItemRect(w->tree()->FindItem(item)).center());
    QTRY_VERIFY(page->isVisible());
}

}  // namespace

class LivePagesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<devsim::Emulator> own_;
    std::unique_ptr<devsim::QvEmulator> qv_;
    std::unique_ptr<CZynConFigCtrlCtrl> ctrl_;

    // A logged-in control for a device type, against reset emulations.
    CFrontSetDialog* Open(int type, const char* langchi_options = "") {
        ctrl_.reset();
        Resolve<ZynVendorEmu_Reset_t>("AntsNetSDK", "ZynVendorEmu_Reset")(
            "ants ip=127.0.0.71 name=NVR data_port=8000 channels=4 alarm_in=4 alarm_out=2 "
            "user=admin password=12345\n");
        const QByteArray lc = QByteArray(
                                  "camsearch ip=127.0.0.41 name=LC data_port=5000 channels=2 "
                                  "alarm_in=3 alarm_out=1 user=570431 password=570431 ") +
                              langchi_options + "\n";
        Resolve<ZynVendorEmu_Reset_t>("NetClient", "ZynVendorEmu_Reset")(lc.constData());
        struct Login {
            const char *address, *user, *password;
            int port;
        } login = type == kDeviceTypeAnts      ? Login{"127.0.0.71", "admin", "12345", 8000}
                  : type == kDeviceTypeLangChi ? Login{"127.0.0.41", "570431", "570431", 5000}
                  : type == kDeviceTypeQv
                      ? Login{"127.0.0.1", "admin", "vupra", qv_->port(0)}
                      : Login{"127.0.0.1", "admin", "admin", own_->device(0).control_port()};
        ctrl_ = std::make_unique<CZynConFigCtrlCtrl>();
        ctrl_->resize(960, 700);
        ctrl_->show();
        if (!ctrl_->LoginDevice("dev", login.address, login.port, login.user, login.password, type))
            return nullptr;
        return ctrl_->window();
    }

    // The four values as the device holds them for a channel.
    static Values DeviceValues(CDevice* d, int ch) {
        Values v{-1, -1, -1, -1};
        if (auto* ants = dynamic_cast<CANTSDevice*>(d)) {
            ants->GetVideoEffect(ch, &v[0], &v[1], &v[2], &v[3]);
        } else if (auto* lc = dynamic_cast<CLangChiDevice*>(d)) {
            uint8_t b[4] = {};
            if (lc->LangChiConfig(0, 21, ch, reinterpret_cast<intptr_t>(b), 4, 0))
                v = {b[0], b[1], b[2], b[3]};
        } else if (auto* qv = dynamic_cast<CQVDevice*>(d)) {
            PageRecord r(32);
            r.SetI32(4, ch);
            if (QvRead(qv, 0x10000007, r)) v = {r.I32(20), r.I32(16), r.I32(12), r.I32(8)};
        } else if (d != nullptr) {
            using namespace zyn::wire;
            std::vector<uint8_t> r(GroupInfo(ParamGroup::kVideo).record_bytes);
            if (d->GetParam(ch, kGroupVideo, r.data())) {
                const char* names[] = {"brightness", "contrast", "saturation", "hue"};
                for (int k = 0; k < 4; ++k)
                    v[k] =
                        static_cast<int>(FieldValue(r.data(), Field(ParamGroup::kVideo, names[k])));
            }
        }
        return v;
    }

private slots:
    void initTestCase() {
        CRHYesNoToAllDialog::SetHook(
            [](const QString&, CRHYesNoToAllDialog::Buttons) { return true; });
        devsim::Config cfg;
        cfg.devices.resize(1);
        cfg.devices[0].channel_count = 2;
        cfg.devices[0].control_port = 17650;  // streams on the next port, as the control expects
        cfg.devices[0].stream_port = 17651;
        cfg.devices[0].main = {176, 144, 10, 128, 10, 1};
        cfg.devices[0].sub = {176, 144, 10, 128, 10, 1};
        own_ = std::make_unique<devsim::Emulator>(cfg);
        std::string error;
        QVERIFY2(own_->Start(&error), error.c_str());
        devsim::QvDeviceConfig qc;
        qc.cam_count = 2;
        qv_ = std::make_unique<devsim::QvEmulator>(std::vector<devsim::QvDeviceConfig>{qc}, false);
        QVERIFY2(qv_->Start(&error), error.c_str());
    }
    void cleanupTestCase() {
        ctrl_.reset();
        CRHYesNoToAllDialog::SetHook(nullptr);
    }

    // Pictures that do not hold what their header says are dropped.
    void malformedPictures() {
        const uint8_t good[8 + 6] = {3, 0, 2, 0, 1, 0, 0, 0, 10, 20, 30, 40, 50, 60};
        QCOMPARE(CLivePreview::ParsePicture(good, sizeof good).pixelColor(2, 1),
                 QColor(60, 60, 60));
        QVERIFY(CLivePreview::ParsePicture(good, sizeof good - 1).isNull());  // cut short
        QVERIFY(CLivePreview::ParsePicture(good, 7).isNull());
        QVERIFY(CLivePreview::ParsePicture(nullptr, 100).isNull());
        const uint8_t empty[8] = {0, 0, 2, 0};
        QVERIFY(CLivePreview::ParsePicture(empty, sizeof empty).isNull());
        const uint8_t huge[8] = {0xFF, 0xFF, 0xFF, 0xFF};
        QVERIFY(CLivePreview::ParsePicture(huge, sizeof huge).isNull());
    }

    // Per vendor: the page shows live video; "text" only for LangChi; moving
    // one slider sends all four values; "default" sends the vendor's
    // defaults.
    void pictureValues_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("text");
        QTest::addColumn<Values>("defaults");
        QTest::newRow("ants") << kDeviceTypeAnts << false << Values{5, 5, 5, 5};
        QTest::newRow("langchi") << kDeviceTypeLangChi << true << Values{110, 140, 128, 8};
        QTest::newRow("qv") << kDeviceTypeQv << false << Values{50, 50, 50, 50};
        QTest::newRow("own") << kDeviceTypeZyn << false << Values{128, 128, 128, 128};
    }
    void pictureValues() {
        QFETCH(int, type);
        QFETCH(bool, text);
        QFETCH(Values, defaults);
        CFrontSetDialog* w = Open(type);
        QVERIFY(w);
        auto* page = w->page<CVideoParamDialog>();
        OpenPage(w, "Character overlay", page);
        QVERIFY(page->preview()->playing());
        QCOMPARE(w->device()->GetChannelPlayFlag(0), 1);
        QCOMPARE(page->findChild<QCheckBox*>("ctl273")->isVisibleTo(page), text);
        QCOMPARE(page->findChild<QLineEdit*>("ctl308")->isVisibleTo(page), text);
        const QRect video(page->preview()->mapTo(w, QPoint()), page->preview()->size());
        if (type != kDeviceTypeZyn) {
            QTRY_VERIFY(page->preview()->pictures_shown() > 2);
            QVERIFY(ShowsPicture(w->grab().toImage(), video));
        } else if (QGuiApplication::platformName() == "xcb") {
            // The SDK has decoded a picture (cheap to ask), then the screen shows it.
            const QByteArray snap = ArtifactPath("own_snapshot.bmp").toLocal8Bit();
            QTRY_VERIFY_WITH_TIMEOUT(w->device()->CapturePicture(0, snap.constData()) == 1, 30000);
            QTRY_VERIFY_WITH_TIMEOUT(ShowsPicture(ScreenShot(w), video), 30000);
        }
        const QImage shot = type == kDeviceTypeZyn ? ScreenShot(w) : w->grab().toImage();
        if (!shot.isNull()) shot.save(ArtifactPath(QString("overlay_type%1.png").arg(type)));

        Values before = page->Values();
        QCOMPARE(DeviceValues(w->device(), 0), before);
        const int moved = before[2] == 7 ? 6 : 7;
        page->findChild<QSlider*>("ctl304")->setValue(moved);  // value 3
        before[2] = moved;
        QCOMPARE(page->Values(), before);
        QCOMPARE(DeviceValues(w->device(), 0), before);
        QTest::mouseClick(page->findChild<QPushButton*>("ctl477"), Qt::LeftButton);
        QCOMPARE(page->Values(), defaults);
        QCOMPARE(DeviceValues(w->device(), 0), defaults);
    }

    // "OK" writes the overlays where each vendor keeps them.
    void overlayOk_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("options");
        QTest::newRow("ants") << kDeviceTypeAnts << QByteArray();
        QTest::newRow("langchi") << kDeviceTypeLangChi << QByteArray();
        QTest::newRow("langchi without 314/315") << kDeviceTypeLangChi << QByteArray("overlay=old");
        QTest::newRow("qv") << kDeviceTypeQv << QByteArray();
        QTest::newRow("own") << kDeviceTypeZyn << QByteArray();
    }
    void overlayOk() {
        QFETCH(int, type);
        QFETCH(QByteArray, options);
        CFrontSetDialog* w = Open(type, options.constData());
        QVERIFY(w);
        auto* page = w->page<CVideoParamDialog>();
        OpenPage(w, "Character overlay", page);
        page->findChild<QComboBox*>("ctl307")->setCurrentIndex(1);  // channel 2
        QCOMPARE(page->channel(), 1);
        const std::pair<const char*, const char*> typed[] = {
            {"ctl432", "Gate"}, {"ctl433", "40"},  {"ctl434", "24"},
            {"ctl309", "300"},  {"ctl435", "260"}, {"ctl308", "Hello"}};
        for (const auto& [name, value] : typed) page->findChild<QLineEdit*>(name)->setText(value);
        page->findChild<QCheckBox*>("ctl450")->setChecked(false);
        page->findChild<QCheckBox*>("ctl273")->setChecked(true);
        auto calls = Resolve<ZynVendorEmu_Calls_t>("NetClient", "ZynVendorEmu_Calls");
        const auto take_calls = [&] {
            QByteArray buf(calls(nullptr, 0) + 1, 0);
            calls(buf.data(), static_cast<int>(buf.size()));
            return QString::fromLatin1(buf.constData());
        };
        const QString calls_before = take_calls();
        QTest::mouseClick(page->findChild<QPushButton*>("ctl367"), Qt::LeftButton);

        CDevice* d = w->device();
        if (type == kDeviceTypeAnts) {
            PageRecord r(CVideoParamDialog::kAntsRecordBytes);
            int got = 0;
            QVERIFY(
                static_cast<CANTSDevice*>(d)->GetDVRConfig(103, 1, r.data(), int(r.size()), &got));
            QCOMPARE(r.Text(4, 32), QString("Gate"));
            QCOMPARE(r.I32(104), 1);  // the name flag as read
            QCOMPARE((QList<int>{r.U16(108), r.U16(110), r.I32(7260), r.U16(7264), r.U16(7266)}),
                     (QList<int>{40, 24, 0, 300, 260}));
        } else if (type == kDeviceTypeLangChi) {
            PageRecord r(160);
            QVERIFY(static_cast<CLangChiDevice*>(d)->LangChiConfig(
                0, 17, 1, reinterpret_cast<intptr_t>(r.data()), 160, 0));
            QCOMPARE((QList<int>{r.I32(0), r.U16(4), r.U16(6), r.U16(8), r.U16(10), r.I32(12)}),
                     (QList<int>{0, 300, 260, 40, 24, 1}));
            QCOMPARE(r.Text(16, 64), QString("Hello"));
            const QString made = take_calls().mid(calls_before.size());
            QVERIFY2(made.contains(",315,1,160)"), qPrintable(made));
            QCOMPARE(made.contains(",18,1,160)"), !options.isEmpty());
        } else if (type == kDeviceTypeQv) {
            PageRecord r(60);
            r.SetI32(4, 1);
            QVERIFY(QvRead(static_cast<CQVDevice*>(d), 0x10000009, r));
            QCOMPARE(r.I32(4), 1);
            QCOMPARE(r.Text(8, 48), QString("Gate"));
            QCOMPARE(int(r[57]), 0);
        } else {
            using namespace zyn::wire;
            std::vector<uint8_t> r(GroupInfo(ParamGroup::kVideo).record_bytes);
            QVERIFY(d->GetParam(1, kGroupVideo, r.data()));
            QCOMPARE(FieldText(r.data(), Field(ParamGroup::kVideo, "title")), std::string("Gate"));
            QList<int> got;
            for (const char* f : {"title_x", "title_y", "show_time", "time_x", "time_y"})
                got << int(FieldValue(r.data(), Field(ParamGroup::kVideo, f)));
            QCOMPARE(got, (QList<int>{40, 24, 0, 300, 260}));
        }
    }

    // Own protocol: rectangles drawn with the mouse over the live video land
    // on the 22 x 18 grid of the motion group, and come back as drawn.
    void ownMotionGrid_data() {
        QTest::addColumn<QList<QRect>>("drags");  // press at topLeft, release at bottomRight
        QTest::addColumn<QList<QRect>>("cells");  // x: first column, y: first row
        QTest::newRow("one") << QList<QRect>{QRect(QPoint(10, 10), QPoint(58, 42))}
                             << QList<QRect>{QRect(0, 0, 3, 2)};
        QTest::newRow("two, one past the edge")
            << QList<QRect>{QRect(QPoint(40, 40), QPoint(80, 60)),
                            QRect(QPoint(10, 200), QPoint(400, 300))}
            << QList<QRect>{QRect(1, 1, 3, 2), QRect(0, 11, 22, 7)};
    }
    void ownMotionGrid() {
        QFETCH(QList<QRect>, drags);
        QFETCH(QList<QRect>, cells);
        CFrontSetDialog* w = Open(kDeviceTypeZyn);
        QVERIFY(w);
        auto* page = w->page<CDlgRemoteMotionDetect>();
        OpenPage(w, "motion detection", page);
        QCOMPARE(page->record().size(), size_t(304));
        page->findChild<QCheckBox*>("ctl645")->setChecked(true);
        for (const QRect& d : drags) Drag(page->area(), d.topLeft(), d.bottomRight());
        QVERIFY(page->preview()->overlay()->isVisible());  // the drawing shows over the video
        page->findChild<QComboBox*>("ctl646")->setCurrentIndex(5);  // highest
        QTest::mouseClick(page->findChild<QPushButton*>("ctl637"), Qt::LeftButton);

        using namespace zyn::wire;
        std::vector<uint8_t> r(GroupInfo(ParamGroup::kMotion).record_bytes);
        QVERIFY(w->device()->GetParam(0, kGroupMotion, r.data()));
        for (int row = 0; row < kMotionGridRows; ++row) {
            int64_t want = 0;
            for (const QRect& c : cells)
                if (row >= c.top() && row <= c.bottom())
                    for (int col = c.left(); col <= c.right(); ++col) want |= int64_t{1} << col;
            const std::string name = "row" + std::to_string(row);
            QCOMPARE(FieldValue(r.data(), Field(ParamGroup::kMotion, name)), want);
        }
        QCOMPARE(FieldValue(r.data(), Field(ParamGroup::kMotion, "sensitivity")), 6);
        if (QTest::currentDataTag() == QByteArray("two, one past the edge")) {
            page->findChild<QCheckBox*>("ctl644")->setChecked(true);  // show what was saved
            const QImage shot = ScreenShot(w);
            (shot.isNull() ? w->grab().toImage() : shot).save(ArtifactPath("motion_type1.png"));
        }
    }
};

QTEST_MAIN(LivePagesTest)
#include "live_pages_test.moc"
