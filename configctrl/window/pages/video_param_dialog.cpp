#include "configctrl/window/pages/video_param_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QConicalGradient>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/live_preview.h"
#include "configctrl/window/pages/zyn_group_io.h"
#include "zynvs/wire/param_fields.h"

namespace configctrl {

namespace {

using zyn::wire::ParamGroup;

// The video group's fields of the four values, in value order.
constexpr const char* kZynValueFields[4] = {"brightness", "contrast", "saturation", "hue"};

// A video-group field of an own-protocol record; writes are clamped to the
// field's range.
int VideoValue(const PageRecord& r, const char* name) {
    return static_cast<int>(ZynValue(r, ZynField(ParamGroup::kVideo, name)));
}
void SetVideoValue(PageRecord& r, const char* name, int v) {
    const auto& f = ZynField(ParamGroup::kVideo, name);
    zyn::wire::SetFieldValue(r.data(), f, std::clamp<int64_t>(v, f.min, f.max));
}

// The slider icons (bitmaps 489, 491, 492, 490): brightness, hue,
// saturation, contrast, drawn.
QPixmap SliderIcon(int bitmap) {
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(4, 4, 12, 12);
    switch (bitmap) {
        case 489:  // a sun
            p.setPen(QPen(QColor(200, 140, 0), 1.5));
            for (int k = 0; k < 8; ++k) {
                p.save();
                p.translate(10, 10);
                p.rotate(45 * k);
                p.drawLine(QPointF(6, 0), QPointF(9, 0));
                p.restore();
            }
            p.setBrush(QColor(250, 200, 40));
            p.drawEllipse(QRectF(5, 5, 10, 10));
            break;
        case 491: {  // a colour wheel
            QConicalGradient g(10, 10, 0);
            for (int k = 0; k <= 6; ++k)
                g.setColorAt(k / 6.0, QColor::fromHsv((60 * k) % 360, 255, 230));
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(disc.adjusted(-2, -2, 2, 2));
            break;
        }
        case 492: {  // a drop from grey to red
            QLinearGradient g(0, 4, 0, 16);
            g.setColorAt(0, QColor(160, 160, 160));
            g.setColorAt(1, QColor(220, 30, 30));
            p.setPen(QPen(QColor(90, 30, 30), 1));
            p.setBrush(g);
            p.drawEllipse(disc);
            break;
        }
        default:  // 490: half black, half white
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(Qt::white);
            p.drawEllipse(disc);
            p.setBrush(Qt::black);
            p.drawPie(disc, 90 * 16, 180 * 16);
            break;
    }
    return pm;
}

QLineEdit* PositionEdit(QWidget* parent, int id) {
    QLineEdit* e = MakeEdit(parent, id);
    e->setValidator(new QIntValidator(0, 9999, e));
    e->setMaximumWidth(64);
    return e;
}

}  // namespace

CVideoParamDialog::CVideoParamDialog(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(12, 12, 12, 12);
    page->setSpacing(16);

    // Left: channel, live video, the four sliders, "default".
    auto* left = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    channel_list_ = MakeCombo(this, 307);
    top->addWidget(MakeLabel(this, "channel selection"));
    top->addWidget(channel_list_);
    top->addStretch(1);
    left->addLayout(top);
    preview_ = new CLivePreview(this);
    preview_->setObjectName("ctl476");
    preview_->setFixedSize(352, 288);
    left->addWidget(preview_);
    auto* sliders = new QGridLayout;
    // Top to bottom: 300, 302, 304, 305; value index of each.
    const struct {
        int id, icon, value;
    } rows[] = {{300, 489, 0}, {302, 491, 3}, {304, 492, 2}, {305, 490, 1}};
    for (int row = 0; row < 4; ++row) {
        auto* icon = new QLabel(this);
        icon->setPixmap(SliderIcon(rows[row].icon));
        auto* s = new QSlider(Qt::Horizontal, this);
        s->setObjectName(QString("ctl%1").arg(rows[row].id));
        s->setRange(0, 255);
        s->setTracking(false);  // a drag sends once, when released
        sliders_[rows[row].value] = s;
        sliders->addWidget(icon, row, 0);
        sliders->addWidget(s, row, 1);
        connect(s, &QSlider::valueChanged, this, [this] { SendValues(); });
    }
    auto* defaults = MakeButton(this, 477, "default");
    sliders->addWidget(defaults, 4, 1, Qt::AlignRight);
    left->addLayout(sliders);
    left->addStretch(1);
    page->addLayout(left);

    // Right: the overlays and "OK".
    auto* right = new QVBoxLayout;
    auto* overlay = new QGroupBox(Tr("Character overlay"), this);
    auto* grid = new QGridLayout(overlay);
    grid->setHorizontalSpacing(8);
    name_ = MakeEdit(overlay, 432);
    name_->setMaxLength(47);
    name_x_ = PositionEdit(overlay, 433);
    name_y_ = PositionEdit(overlay, 434);
    time_ = MakeCheck(overlay, 450, "time");
    time_x_ = PositionEdit(overlay, 309);
    time_y_ = PositionEdit(overlay, 435);
    text_check_ = MakeCheck(overlay, 273, "text");
    text_ = MakeEdit(overlay, 308);
    text_->setMaxLength(kLcTextBytes - 1);
    grid->addWidget(MakeLabel(overlay, "channel name"), 0, 0);
    grid->addWidget(name_, 0, 1, 1, 4);
    grid->addWidget(MakeLabel(overlay, "X"), 1, 1, Qt::AlignRight);
    grid->addWidget(name_x_, 1, 2);
    grid->addWidget(MakeLabel(overlay, "Y"), 1, 3, Qt::AlignRight);
    grid->addWidget(name_y_, 1, 4);
    grid->addWidget(time_, 2, 0);
    grid->addWidget(MakeLabel(overlay, "X"), 2, 1, Qt::AlignRight);
    grid->addWidget(time_x_, 2, 2);
    grid->addWidget(MakeLabel(overlay, "Y"), 2, 3, Qt::AlignRight);
    grid->addWidget(time_y_, 2, 4);
    grid->addWidget(text_check_, 3, 0);
    grid->addWidget(text_, 3, 1, 1, 4);
    grid->setColumnStretch(5, 1);
    right->addWidget(overlay);
    auto* ok = MakeButton(this, 367, "OK");
    right->addWidget(ok, 0, Qt::AlignRight);
    right->addStretch(1);
    page->addLayout(right, 1);

    connect(channel_list_, &QComboBox::currentIndexChanged, this,
            [this](int i) { ChangeChannel(i); });
    connect(defaults, &QPushButton::clicked, this, [this] { Defaults(); });
    connect(ok, &QPushButton::clicked, this, [this] { Ok(); });
}

std::array<int, 4> CVideoParamDialog::Values() const {
    return {sliders_[0]->value(), sliders_[1]->value(), sliders_[2]->value(), sliders_[3]->value()};
}

void CVideoParamDialog::ShowValues(const std::array<int, 4>& values) {
    for (int k = 0; k < 4; ++k) {
        const QSignalBlocker block(sliders_[k]);
        sliders_[k]->setValue(values[k]);
    }
}

void CVideoParamDialog::OnPageActivated(quint32, quint32) {
    CDevice* device = owner()->device();
    if (device == nullptr) return;
    const int type = owner()->device_type();
    if (channel_list_->count() == 0) {
        const QSignalBlocker block(channel_list_);
        const int channels = PageChannelCount(this);
        for (int c = 0; c < channels; ++c) channel_list_->addItem(QString::number(c + 1));
        const int top = type == kDeviceTypeAnts ? 10 : type == kDeviceTypeQv ? 100 : 255;
        for (QSlider* s : sliders_) {
            const QSignalBlocker b(s);
            s->setRange(0, top);
            s->setPageStep(std::max(1, top / 10));
        }
        text_check_->setVisible(type == kDeviceTypeLangChi);
        text_->setVisible(type == kDeviceTypeLangChi);
    }
    preview_->Start(device, channel_);
    if (record_.empty()) Load();
}

void CVideoParamDialog::Load() {
    const int ch = channel_;
    if (CANTSDevice* ants = AntsOf(this)) {
        record_ = PageRecord(kAntsRecordBytes);
        int returned = 0;
        if (!ants->GetDVRConfig(kAntsRead, ch, record_.data(), kAntsRecordBytes, &returned)) return;
        name_->setText(record_.Text(kAntsName, 32));
        name_x_->setText(Num(record_.U16(kAntsNameX)));
        name_y_->setText(Num(record_.U16(kAntsNameY)));
        time_->setChecked(record_.I32(kAntsTimeFlag) != 0);
        time_x_->setText(Num(record_.U16(kAntsTimeX)));
        time_y_->setText(Num(record_.U16(kAntsTimeY)));
        std::array<int, 4> v{};
        if (ants->GetVideoEffect(ch, &v[0], &v[1], &v[2], &v[3])) ShowValues(v);
    } else if (CQVDevice* qv = QvOf(this)) {
        PageRecord values(kQvValuesBytes);
        values.SetI32(4, ch);
        if (QvRead(qv, kQvValuesRead, values))
            ShowValues({values.I32(20), values.I32(16), values.I32(12), values.I32(8)});
        record_ = PageRecord(kQvOverlayBytes);
        record_.SetI32(4, ch);
        if (!QvRead(qv, kQvOverlayRead, record_)) return;
        name_->setText(record_.Text(kQvName, kQvNameBytes));
        time_->setChecked(record_[kQvTimeFlag] != 0);
    } else if (CLangChiDevice* lc = LangChiOf(this)) {
        auto io = [&](int command, PageRecord& r) {
            return lc->LangChiConfig(0, command, ch, reinterpret_cast<intptr_t>(r.data()),
                                     static_cast<intptr_t>(r.size()), 0) != 0;
        };
        PageRecord values(4);
        if (io(kLcValuesRead, values)) ShowValues({values[0], values[1], values[2], values[3]});
        record_ = PageRecord(kLcOverlayBytes);
        if (io(kLcOverlayRead, record_) || io(kLcOverlayReadOld, record_)) {
            time_->setChecked(record_.I32(kLcTimeFlag) != 0);
            time_x_->setText(Num(record_.U16(kLcTimeX)));
            time_y_->setText(Num(record_.U16(kLcTimeY)));
            name_x_->setText(Num(record_.U16(kLcNameX)));
            name_y_->setText(Num(record_.U16(kLcNameY)));
            text_check_->setChecked(record_.I32(kLcTextFlag) != 0);
            text_->setText(record_.Text(kLcText, kLcTextBytes));
        }
        PageRecord channel(kLcChannelBytes);
        if (io(kLcChannelRead, channel))
            name_->setText(channel.Text(kLcChannelName, kLcChannelNameBytes));
    } else if (owner()->device_type() == kDeviceTypeZyn) {
        if (!ZynRead(ZynOf(this), ParamGroup::kVideo, ch, record_)) return;
        name_->setText(ZynText(record_, ParamGroup::kVideo, "title"));
        name_x_->setText(Num(VideoValue(record_, "title_x")));
        name_y_->setText(Num(VideoValue(record_, "title_y")));
        time_->setChecked(VideoValue(record_, "show_time") != 0);
        time_x_->setText(Num(VideoValue(record_, "time_x")));
        time_y_->setText(Num(VideoValue(record_, "time_y")));
        ShowValues({VideoValue(record_, kZynValueFields[0]), VideoValue(record_, kZynValueFields[1]),
                    VideoValue(record_, kZynValueFields[2]), VideoValue(record_, kZynValueFields[3])});
    }
}

// All four values at once, by the vendor's write.
bool CVideoParamDialog::SendValues() {
    const std::array<int, 4> v = Values();
    const int ch = channel_;
    if (CANTSDevice* ants = AntsOf(this)) return ants->SetVideoEffect(ch, v[0], v[1], v[2], v[3]);
    if (CQVDevice* qv = QvOf(this)) {
        PageRecord r(kQvValuesBytes);
        r.SetI32(0, kQvValuesBytes);
        r.SetI32(4, ch);
        r.SetI32(8, v[3]);
        r.SetI32(12, v[2]);
        r.SetI32(16, v[1]);
        r.SetI32(20, v[0]);
        return QvWrite(qv, kQvValuesWrite, r);
    }
    if (CLangChiDevice* lc = LangChiOf(this)) {
        uint8_t bytes[4];
        for (int k = 0; k < 4; ++k) bytes[k] = static_cast<uint8_t>(v[k]);
        return lc->LangChiConfig(0, kLcValuesWrite, ch, reinterpret_cast<intptr_t>(bytes), 4, 0);
    }
    if (owner()->device_type() == kDeviceTypeZyn && owner()->device() && !record_.empty()) {
        for (int k = 0; k < 4; ++k) SetVideoValue(record_, kZynValueFields[k], v[k]);
        return ZynWrite(ZynOf(this), ParamGroup::kVideo, ch, record_);
    }
    return false;
}

void CVideoParamDialog::Defaults() {
    const int type = owner()->device_type();
    if (type == kDeviceTypeLangChi) {
        ShowValues(kLcDefaults);
    } else if (type == kDeviceTypeAnts) {
        ShowValues({kAntsDefault, kAntsDefault, kAntsDefault, kAntsDefault});
    } else if (type == kDeviceTypeQv) {
        PageRecord unused(kQvValuesBytes);  // read first; its answer is not used
        unused.SetI32(4, channel_);
        QvRead(QvOf(this), kQvValuesRead, unused);
        ShowValues({kQvDefault, kQvDefault, kQvDefault, kQvDefault});
    } else if (type == kDeviceTypeZyn) {
        ShowValues({kZynDefault, kZynDefault, kZynDefault, kZynDefault});
    } else {
        return;
    }
    SendValues();
    OnPageActivated(0, 0);
}

void CVideoParamDialog::Ok() {
    const int ch = channel_;
    if (CANTSDevice* ants = AntsOf(this)) {
        if (record_.empty()) return;
        record_.SetText(kAntsName, 32, name_->text());
        const std::array<int, 4> v = Values();
        for (int k = 0; k < 4; ++k) record_[kAntsValues + k] = static_cast<uint8_t>(v[k]);
        record_.SetU16(kAntsNameX, static_cast<uint16_t>(name_x_->text().toInt()));
        record_.SetU16(kAntsNameY, static_cast<uint16_t>(name_y_->text().toInt()));
        record_.SetI32(kAntsTimeFlag, time_->isChecked() ? 1 : 0);
        record_.SetU16(kAntsTimeX, static_cast<uint16_t>(time_x_->text().toInt()));
        record_.SetU16(kAntsTimeY, static_cast<uint16_t>(time_y_->text().toInt()));
        ants->SetDVRConfig(kAntsWrite, ch, record_.data(), kAntsRecordBytes);
    } else if (CQVDevice* qv = QvOf(this)) {
        PageRecord r(kQvOverlayBytes);
        r.SetI32(0, kQvOverlayBytes);
        r.SetI32(4, ch);
        const QByteArray name = name_->text().toLocal8Bit().left(kQvNameBytes);
        std::memcpy(r.data() + kQvName, name.constData(), static_cast<size_t>(name.size()));
        r[kQvNameFlag] = record_.empty() ? 1 : record_[kQvNameFlag];  // as read
        r[kQvTimeFlag] = time_->isChecked() ? 1 : 0;
        if (QvWrite(qv, kQvOverlayWrite, r)) record_ = r;
    } else if (CLangChiDevice* lc = LangChiOf(this)) {
        PageRecord r(kLcOverlayBytes);
        auto io = [&](int command) {
            return lc->LangChiConfig(0, command, ch, reinterpret_cast<intptr_t>(r.data()),
                                     static_cast<intptr_t>(r.size()), 0) != 0;
        };
        if (!io(kLcOverlayReadOld)) return;
        r.SetI32(kLcTimeFlag, time_->isChecked() ? 1 : 0);
        r.SetU16(kLcTimeX, static_cast<uint16_t>(time_x_->text().toInt()));
        r.SetU16(kLcTimeY, static_cast<uint16_t>(time_y_->text().toInt()));
        r.SetU16(kLcNameX, static_cast<uint16_t>(name_x_->text().toInt()));
        r.SetU16(kLcNameY, static_cast<uint16_t>(name_y_->text().toInt()));
        r.SetI32(kLcTextFlag, text_check_->isChecked() ? 1 : 0);
        r.SetText(kLcText, kLcTextBytes, text_->text());
        if (!io(kLcOverlayWrite)) io(kLcOverlayWriteOld);
        record_ = r;
    } else if (owner()->device_type() == kDeviceTypeZyn && !record_.empty()) {
        SetZynText(record_, ParamGroup::kVideo, "title", name_->text());
        SetVideoValue(record_, "title_x", name_x_->text().toInt());
        SetVideoValue(record_, "title_y", name_y_->text().toInt());
        SetVideoValue(record_, "show_time", time_->isChecked() ? 1 : 0);
        SetVideoValue(record_, "time_x", time_x_->text().toInt());
        SetVideoValue(record_, "time_y", time_y_->text().toInt());
        const std::array<int, 4> v = Values();
        for (int k = 0; k < 4; ++k) SetVideoValue(record_, kZynValueFields[k], v[k]);
        ZynWrite(ZynOf(this), ParamGroup::kVideo, ch, record_);
    }
}

void CVideoParamDialog::ChangeChannel(int channel) {
    if (channel < 0 || channel == channel_) return;
    preview_->Stop();
    channel_ = channel;
    record_ = PageRecord();
    OnPageActivated(0, 0);
}

}  // namespace configctrl
