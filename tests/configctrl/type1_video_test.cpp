// The video coding and sensor alarm pages of own-protocol devices against the
// device emulator, and the LangChi motion page against the emulated
// NetClient library. A coding change saved on the page is read back by the
// `zynvs get video` program and re-encodes the emulator's stream; typed
// values the device would not take are refused before anything is sent.
// Leaves a screenshot per page in artifacts/configctrl.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>

#include <memory>

#include "configctrl/device/langchi_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/live_preview.h"
#include "configctrl/window/pages/motion_param_dialog.h"
#include "configctrl/window/pages/sensor_param_dialog.h"
#include "configctrl/window/pages/video_coding_dlg.h"
#include "configctrl/window/tips_box.h"
#include "tests/support/run_tool.h"
#include "tools/devsim/devsim.h"
#include "vendors/emu/emu_control.h"
#include "vendors/loader.h"
#include "zynvs/wire/param_fields.h"
#include "tests/configctrl/page_test_support.h"

using namespace configctrl;
namespace wire = zyn::wire;

namespace {

constexpr uint16_t kGetVideo = 0x0503, kSetVideo = 0x0504, kGetSensor = 0x050B, kSetSensor = 0x050C;

void Shot(QWidget* w, const QString& name) {
    w->grab().save(page_test::ArtifactPath(name, "configctrl"));
}

// A field of an emulator record as `zynvs get` prints it.
QString FieldText(const std::vector<uint8_t>& r, wire::ParamGroup g, const char* name) {
    return QString::fromStdString(wire::FormatField(r.data(), wire::Field(g, name)));
}

// Two channels of QCIF video, cheap to encode again.
class OwnDevice {
public:
    OwnDevice() {
        devsim::Config cfg;
        cfg.devices.resize(1);
        cfg.devices[0].channel_count = 2;
        cfg.devices[0].main = {176, 144, 5, 64, 5, 1};
        cfg.devices[0].sub = {176, 144, 5, 64, 5, 1};
        emu_ = std::make_unique<devsim::Emulator>(cfg);
        started_ = emu_->Start(&error_);
    }
    bool started() const { return started_; }
    const std::string& error() const { return error_; }
    devsim::Device& dev() { return emu_->device(0); }
    devsim::MessageLog& log() { return emu_->log(); }

    // The configuration window around a logged-in CZynDevice.
    std::unique_ptr<CFrontSetDialog> Window() {
        auto d = std::make_unique<CZynDevice>();
        d->SetDeviceId(5);
        d->SetAddress("127.0.0.1");
        d->SetHostName("127.0.0.1");
        d->SetPort(dev().control_port());
        d->SetSecondPort(dev().stream_port());
        d->SetUserName("admin");
        d->SetPassword("admin");
        d->SetChannelCount(2);
        if (d->Login() != 1) return nullptr;
        auto w = std::make_unique<CFrontSetDialog>(nullptr);
        w->SetDevice(std::move(d), kDeviceTypeZyn);
        w->SetCounts(2, 2, 1);
        w->Create();
        w->resize(960, 700);
        w->show();
        // The window's own first switch (to Device info) comes first.
        if (!QTest::qWaitFor([&] { return w->visible_page() != nullptr; }, 5000)) return nullptr;
        return w;
    }

private:
    std::unique_ptr<devsim::Emulator> emu_;
    std::string error_;
    bool started_ = false;
};

int Marked(const CMotionParamDialog* page) {
    return int(std::count(page->cells().begin(), page->cells().end(), 1));
}

bool ResetNetClient() {
    auto lib = vendors::VendorLibrary::Open("NetClient");
    ZynVendorEmu_Reset_t reset = nullptr;
    if (!lib || !lib->Get("ZynVendorEmu_Reset", &reset)) return false;
    reset(
        "camsearch ip=127.0.0.41 name=LC data_port=5000 channels=2 alarm_in=3 alarm_out=1 "
        "user=570431 password=570431\n");
    return true;
}

}  // namespace

class Type1VideoTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { devsim::QuietCodecLogs(); }
    void init() {
        SetTipsHook([this](const QString& text) { tips_ << text; });
        tips_.clear();
    }
    void cleanup() { SetTipsHook(nullptr); }

    // Channel 2's coding changed on the page: `zynvs get video` prints the
    // new fields, the emulator encodes the new size, channel 1 stays.
    void videoCodingChangesTheStream() {
        OwnDevice own;
        QVERIFY2(own.started(), own.error().c_str());
        auto w = own.Window();
        QVERIFY(w);
        auto* page = w->page<CVideoCodingDlg>();
        QCOMPARE(page->size_list(0)->count(), 5);
        QCOMPARE(page->size_list(0)->itemText(1), QString("CIF"));
        w->SwitchPage(w->visible_page(), page);
        QCOMPARE(page->size_list(0)->currentText(), QString("QCIF"));
        QCOMPARE(page->frame_rate(0)->text(), QString("5"));
        page->channel_list()->setCurrentIndex(1);
        QCOMPARE(own.log().Count(kGetVideo), size_t(2));  // one read per channel shown

        page->size_list(0)->setCurrentIndex(1);  // CIF
        page->bit_rate(0)->setText("256");
        page->frame_rate(0)->setText("10");
        page->iframe(0)->setText("20");
        page->mode_list(0)->setCurrentIndex(1);
        page->frame_rate(1)->setText("8");
        QTest::mouseClick(page->ok_button(), Qt::LeftButton);
        QCOMPARE(tips_, QStringList{"Set success"});
        Shot(w.get(), "video_coding_type1.png");

        const auto get = zyn_test::RunTool(
            std::string(ZYNVS_BIN) + " get video --channel 1 --host 127.0.0.1 --port " +
            std::to_string(own.dev().control_port()) + " --user admin --password admin");
        QVERIFY2(get.status == 0, get.output.c_str());
        const QString out = QString::fromStdString(get.output);
        for (const char* line :
             {"resolution +cif\n", "bitrate +256\n", "fps +10\n", "gop +20\n", "mode +vbr\n",
              "sub_resolution +qcif\n", "sub_fps +8\n", "title +CH2\n"})
            QVERIFY2(out.contains(QRegularExpression(line)), qPrintable(line + out));

        QTRY_COMPARE_WITH_TIMEOUT(own.dev().Loop(1, 0)->key.width, 352, 10000);
        const auto main = own.dev().Loop(1, 0), sub = own.dev().Loop(1, 1);
        QCOMPARE(main->key.height, 288);
        QCOMPARE((QList<int>{main->key.fps, main->key.bitrate_kbps, main->key.gop}),
                 (QList<int>{10, 256, 20}));
        QCOMPARE((QList<int>{sub->key.width, sub->key.fps}), (QList<int>{176, 8}));
        QCOMPARE(own.dev().Loop(0, 0)->key.width, 176);
    }

    // Values the device does not take are named and nothing is sent; a
    // device that refuses the record is reported.
    void videoCodingRefusals_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("tips");
        QTest::newRow("frame rate") << "ctl442"
                                    << "31" << false << "frame rate: 1..30";
        QTest::newRow("bit rate") << "ctl455"
                                  << "20000" << false << "bit rate: 32..16384";
        QTest::newRow("gop empty") << "ctl443"
                                   << "" << false << "I frame interval: 1..250";
        QTest::newRow("refused") << "ctl442"
                                 << "12" << true << "Set failed";
    }
    void videoCodingRefusals() {
        QFETCH(QString, edit);
        QFETCH(QString, text);
        QFETCH(bool, refuse);
        QFETCH(QString, tips);
        OwnDevice own;
        QVERIFY2(own.started(), own.error().c_str());
        auto w = own.Window();
        QVERIFY(w);
        auto* page = w->page<CVideoCodingDlg>();
        w->SwitchPage(w->visible_page(), page);
        const auto before = own.dev().Param(kGetVideo, 0);
        if (refuse) own.dev().AddReplyFault({kSetVideo, devsim::FaultAction::kResult, 3, 0});
        auto* field = page->findChild<QLineEdit*>(edit);
        QVERIFY2(field, qPrintable(edit));
        field->setText(text);
        QTest::mouseClick(page->ok_button(), Qt::LeftButton);
        QCOMPARE(tips_, QStringList{tips});
        QCOMPARE(own.log().Count(kSetVideo), size_t(refuse ? 1 : 0));
        QCOMPARE(own.dev().Param(kGetVideo, 0), before);
    }

    // Sensor 2 set up on the page, the other sensor visited in between:
    // every field lands in the emulator's record.
    void sensorSavedAndReadBack() {
        OwnDevice own;
        QVERIFY2(own.started(), own.error().c_str());
        auto w = own.Window();
        QVERIFY(w);
        auto* page = w->page<CSensorParamDialog>();
        w->SwitchPage(w->visible_page(), page);
        auto* sensors = page->findChild<QComboBox*>("ctl493");
        QCOMPARE(sensors->count(), 2);
        QCOMPARE(page->findChild<QLineEdit*>("ctl516")->text(), QString("24"));  // Mon end hour
        sensors->setCurrentIndex(1);
        page->findChild<QCheckBox*>("ctl494")->setChecked(true);
        const char* tue[8] = {"08", "00", "18", "30", "20", "00", "24", "00"};
        for (int f = 0; f < 4; ++f) {
            page->findChild<QLineEdit*>(QString("ctl%1").arg(503 + 7 * f))->setText(tue[f]);
            page->second_window(1, f)->setText(tue[4 + f]);
        }
        page->findChild<QCheckBox*>("ctl530")->setChecked(true);
        page->findChild<QCheckBox*>("ctl531")->setChecked(true);
        page->findChild<QCheckBox*>("ctl534")->setChecked(true);
        page->findChild<QCheckBox*>("ctl539")->setChecked(true);
        page->findChild<QLineEdit*>("ctl540")->setText("7");
        page->contact_list()->setCurrentIndex(1);
        page->capture_check()->setChecked(true);
        page->hold_edit()->setText("30");
        sensors->setCurrentIndex(0);
        QVERIFY(!page->findChild<QCheckBox*>("ctl530")->isChecked());
        sensors->setCurrentIndex(1);
        QCOMPARE(page->second_window(1, 2)->text(), QString("24"));
        Shot(w.get(), "sensor_alarm_type1.png");
        QTest::mouseClick(page->findChild<QPushButton*>("ctl541"), Qt::LeftButton);
        QCOMPARE(tips_, QStringList{"Set success"});

        const auto r = own.dev().Param(kGetSensor, 1);
        const wire::ParamGroup g = wire::ParamGroup::kSensor;
        const QStringList want = {"on", "closed", "on",          "on",          "0x03",       "on",
                                  "7",  "30",     "08:00-18:30", "20:00-24:00", "00:00-24:00"};
        const QStringList got = {FieldText(r, g, "enabled"),
                                 FieldText(r, g, "contact"),
                                 FieldText(r, g, "record"),
                                 FieldText(r, g, "alarm_out"),
                                 FieldText(r, g, "record_channels"),
                                 FieldText(r, g, "capture"),
                                 FieldText(r, g, "preset"),
                                 FieldText(r, g, "hold"),
                                 FieldText(r, g, "tue1"),
                                 FieldText(r, g, "tue2"),
                                 FieldText(r, g, "sun1")};
        QCOMPARE(got, want);
        QCOMPARE(FieldText(own.dev().Param(kGetSensor, 0), g, "enabled"), QString("off"));
    }

    // A schedule or preset the device would not take is named, the page
    // stays on the sensor, and nothing is written.
    void sensorRefusals_data() {
        QTest::addColumn<int>("control");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tips");
        QTest::newRow("hour 25") << 502 << "25"
                                 << "Mon: Hour between 0 - 24";
        QTest::newRow("minute 60") << 509 << "60"
                                   << "Mon time: HH:MM-HH:MM";
        QTest::newRow("end before start")
            << 517 << "00"
            << "Tue: Fortify start time can not be larger than the record to stop time";
        QTest::newRow("preset 0") << 540 << "0"
                                  << "Call presets: 1..255";
    }
    void sensorRefusals() {
        QFETCH(int, control);
        QFETCH(QString, text);
        QFETCH(QString, tips);
        OwnDevice own;
        QVERIFY2(own.started(), own.error().c_str());
        auto w = own.Window();
        QVERIFY(w);
        auto* page = w->page<CSensorParamDialog>();
        w->SwitchPage(w->visible_page(), page);
        page->findChild<QLineEdit*>("ctl503")->setText("10");  // Tue from 10:00
        page->findChild<QCheckBox*>("ctl539")->setChecked(true);
        page->findChild<QLineEdit*>("ctl540")->setText("5");
        page->findChild<QLineEdit*>(QString("ctl%1").arg(control))->setText(text);
        auto* sensors = page->findChild<QComboBox*>("ctl493");
        sensors->setCurrentIndex(1);
        QCOMPARE(sensors->currentIndex(), 0);
        QTest::mouseClick(page->findChild<QPushButton*>("ctl541"), Qt::LeftButton);
        QCOMPARE(tips_, (QStringList{tips, tips}));
        QCOMPARE(own.log().Count(kSetSensor), size_t(0));
    }

    // LangChi motion: the emulated defaults shown, rectangles dragged with
    // the mouse land on their cells, edits of a channel survive a visit to
    // the other, and "OK" writes both channels' records.
    void langChiMotionGrid() {
        QVERIFY(ResetNetClient());
        auto d = std::make_unique<CLangChiDevice>();
        d->SetAddress("127.0.0.41");
        d->SetHostName("127.0.0.41");
        d->SetPort(5000);
        d->SetUserName("570431");
        d->SetPassword("570431");
        QCOMPARE(d->Login(), 1);
        CLangChiDevice* lc = d.get();
        auto w = std::make_unique<CFrontSetDialog>(nullptr);
        w->SetDevice(std::move(d), kDeviceTypeLangChi);
        w->SetCounts(2, 3, 1);
        w->Create();
        w->resize(960, 700);
        w->show();
        QTRY_VERIFY(w->visible_page() != nullptr);  // the first page, first
        auto* page = w->page<CMotionParamDialog>();
        w->SwitchPage(w->visible_page(), page);
        QCOMPARE(page->findChild<QComboBox*>("ctl646")->currentText(), QString("2"));
        QCOMPARE(page->findChild<QComboBox*>("ctl495")->currentText(), QString("close"));
        QCOMPARE(Marked(page), 22 * 18);
        CLivePreview* preview = page->preview();
        QCOMPARE(preview->objectName(), QString("ctl639"));
        QTRY_VERIFY(preview->pictures_shown() > 0);  // the channel's live video

        page->findChild<QPushButton*>("ctl397")->click();  // clear
        QCOMPARE(Marked(page), 0);
        auto center = [preview](QPoint cell) {
            return QPoint((2 * cell.x() + 1) * preview->width() / 44,
                          (2 * cell.y() + 1) * preview->height() / 36);
        };
        auto send = [preview](QEvent::Type type, QPoint at, Qt::MouseButton button,
                              Qt::MouseButtons held) {
            QMouseEvent e(type, at, preview->mapToGlobal(at), button, held, Qt::NoModifier);
            QApplication::sendEvent(preview, &e);
        };
        auto drag = [&](QPoint from, QPoint to) {
            send(QEvent::MouseButtonPress, center(from), Qt::LeftButton, Qt::LeftButton);
            send(QEvent::MouseMove, center(to), Qt::NoButton, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, center(to), Qt::LeftButton, Qt::NoButton);
        };
        drag({5, 6}, {2, 3});      // columns 2..5, rows 3..6
        drag({20, 17}, {21, 17});  // the bottom right corner
        QCOMPARE(Marked(page), 18);
        drag({3, 4}, {3, 5});  // from a marked cell: a hole
        QCOMPARE(Marked(page), 16);
        page->findChild<QCheckBox*>("ctl494")->setChecked(true);
        page->findChild<QComboBox*>("ctl495")->setCurrentIndex(9);  // Everyday
        page->findChild<QLineEdit*>("ctl516")->setText("23");
        page->findChild<QCheckBox*>("ctl531")->setChecked(true);
        Shot(w.get(), "motion_langchi.png");

        auto* channels = page->findChild<QComboBox*>("ctl307");
        channels->setCurrentIndex(1);
        QCOMPARE(Marked(page), 22 * 18);
        page->findChild<QPushButton*>("ctl397")->click();
        channels->setCurrentIndex(0);
        QCOMPARE(Marked(page), 16 + 2 - 2);
        QTest::mouseClick(page->findChild<QPushButton*>("ctl541"), Qt::LeftButton);
        QCOMPARE(tips_, QStringList{"Set success"});

        auto read = [lc](int channel) {
            std::vector<uint8_t> r(CMotionParamDialog::kRecordBytes, 0);
            lc->LangChiConfig(0, 12, channel, reinterpret_cast<intptr_t>(r.data()), r.size(), 0);
            return r;
        };
        const auto r0 = read(0);
        QString marked;
        for (int row = 0; row < 18; ++row)
            for (int c = 0; c < 22; ++c)
                if (r0[72 + 22 * row + c]) marked += QString("%1,%2 ").arg(c).arg(row);
        QCOMPARE(marked, QString("2,3 3,3 4,3 5,3 2,4 4,4 5,4 2,5 4,5 5,5 2,6 3,6 4,6 5,6 "
                                 "20,17 21,17 "));
        QList<int> bytes;
        for (int at : {0, 8, 9, 12, 16 + 2, 16 + 4}) bytes << r0[at];
        QCOMPARE(bytes, (QList<int>{1, 0, 1, 0, 23, 9}));
        const auto r1 = read(1);
        QCOMPARE(int(std::count(r1.begin() + 72, r1.end(), 0)), 22 * 18);
    }

private:
    QStringList tips_;
};

QTEST_MAIN(Type1VideoTest)
#include "type1_video_test.moc"
