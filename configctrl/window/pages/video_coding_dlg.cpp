#include "configctrl/window/pages/video_coding_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/pages/record_bytes.h"
#include "configctrl/window/pages/zyn_group_io.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {

const QStringList kLangChiMainSizes = {
    "QCIF ",          "CIF",           "2CIF",           "D1",
    "QVGA ",          "320*240@60HZ ", "640*480@60HZ ",  "800*600@60HZ",
    "1024*768",       "1280*1024 ",    "1600*1200@60HZ", "1280*720",
    "1920*1080@25HZ", "1024*768@25HZ", "800*600@25HZ",   "1600*1200@25HZ"};
const QStringList kLangChiSubSizes = {"QCIF ", "CIF", "2CIF", "D1"};
const QStringList kAntsSizes = {"DCIF", "CIF",  "QCIF", "4CIF",   "2CIF",
                                "VGA",  "UXGA", "SVGA", "HD720p", "XVGA"};
const QStringList kQvSizes = {"D1", "HD1", "CIF", "QVGA", "VGA", "1080P", "720P"};

const int kAntsRates[] = {16,  32,  48,  64,  80,  96,  128,  160,  192,  224,  256, 320,
                          384, 448, 512, 640, 768, 896, 1024, 1280, 1536, 1792, 2048};
constexpr quint32 kCustomRate = 0x80000000u;

void Select(QComboBox* list, int index) {
    if (index >= 0 && index < list->count()) list->setCurrentIndex(index);
}
int Value(const QLineEdit* edit) {
    return edit->text().trimmed().toInt();
}
QStringList Translated(const QStringList& texts) {
    QStringList out;
    for (const QString& t : texts) out << TranslateText(t);
    return out;
}

// Layout of the ANTS record: the main stream's block and the sub stream's
// (the fourth) as offsets of size code, mode, bit rate, frame-rate code and
// I-frame interval.
struct AntsStream {
    int size, mode, rate, frame, iframe;
};
constexpr AntsStream kAntsStreams[2] = {{5, 6, 8, 12, 16}, {89, 90, 92, 96, 100}};

// Own protocol: the coding fields of the video record, main and sub stream.
struct ZynStream {
    const zyn::wire::ParamField& resolution;
    const zyn::wire::ParamField& bitrate;
    const zyn::wire::ParamField& mode;
    const zyn::wire::ParamField& fps;
    const zyn::wire::ParamField& gop;
};
using zyn::wire::ParamGroup;
constexpr ZynStream kZynStreams[2] = {
    {zyn::wire::Field(ParamGroup::kVideo, "resolution"),
     zyn::wire::Field(ParamGroup::kVideo, "bitrate"), zyn::wire::Field(ParamGroup::kVideo, "mode"),
     zyn::wire::Field(ParamGroup::kVideo, "fps"), zyn::wire::Field(ParamGroup::kVideo, "gop")},
    {zyn::wire::Field(ParamGroup::kVideo, "sub_resolution"),
     zyn::wire::Field(ParamGroup::kVideo, "sub_bitrate"),
     zyn::wire::Field(ParamGroup::kVideo, "sub_mode"),
     zyn::wire::Field(ParamGroup::kVideo, "sub_fps"),
     zyn::wire::Field(ParamGroup::kVideo, "sub_gop")},
};

// The list index of an enum field's stored value; -1 when the list has none.
int ChoiceIndex(const zyn::wire::ParamField& f, int64_t value) {
    for (int i = 0; i < f.choice_count; ++i)
        if (f.choices[i].value == value) return i;
    return -1;
}

// The ability list: sections of 13352 bytes from 8; type 4 holds the frame
// rates (count at 36, entries of 52 bytes from 44).
constexpr int kSectionBytes = 13352, kFrameRateType = 4, kEntryBytes = 52;

// Where the frame-rate entries of `ability` start, and how many there are.
bool FrameRates(const QByteArray& ability, int* first, int* count) {
    if (ability.size() < 8) return false;
    const int sections = RecordI32(ability, 4);
    for (int s = 0; s < sections; ++s) {
        const qint64 at = 8 + qint64(s) * kSectionBytes;
        if (at + kSectionBytes > ability.size()) return false;
        if (RecordI32(ability, int(at)) != kFrameRateType) continue;
        const int n = RecordI32(ability, int(at) + 36);
        const int max = (kSectionBytes - 44) / kEntryBytes;
        *first = int(at) + 44;
        *count = n < 0 ? 0 : n > max ? max : n;
        return true;
    }
    return false;
}

}  // namespace

CVideoCodingDlg::CVideoCodingDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    auto make_list = [this](const char* name) {
        auto* list = new QComboBox(this);
        list->setObjectName(name);
        return list;
    };
    auto make_edit = [this](const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setValidator(new QIntValidator(0, 0x7fffffff, edit));
        return edit;
    };
    auto label = [this](const char* text) {
        return new QLabel(TranslateText(QString(text)), this);
    };

    channel_ = make_list("ctl311");
    size_[0] = make_list("ctl439");
    size_[1] = make_list("ctl444");
    bit_rate_[0] = make_edit("ctl453");
    bit_rate_[1] = make_edit("ctl455");
    mode_[0] = make_list("ctl452");
    mode_[1] = make_list("ctl454");
    frame_rate_[0] = make_edit("ctl442");
    frame_rate_[1] = make_edit("ctl447");
    iframe_[0] = make_edit("ctl443");
    iframe_[1] = make_edit("ctl448");
    ok_ = new QPushButton(TranslateText(QString("OK")), this);
    ok_->setObjectName("ctl367");

    // Main stream on the left, sub stream on the right: label, field, range.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(10);
    grid->addWidget(label("channel"), 0, 0);
    grid->addWidget(channel_, 0, 1);
    const char* size_labels[] = {"main stream size", "sub stream size"};
    const char* rows[] = {nullptr, "bit rate", "bit rate mode", "frame rate", "I frame interval"};
    const char* units[] = {nullptr, "(32-4000kbps)", nullptr, "(1-25)", "(1-116)"};
    for (int s = 0; s < 2; ++s) {
        QWidget* fields[] = {size_[s], bit_rate_[s], mode_[s], frame_rate_[s], iframe_[s]};
        const int col = 4 * s;
        for (int r = 0; r < 5; ++r) {
            grid->addWidget(label(r == 0 ? size_labels[s] : rows[r]), 1 + r, col);
            grid->addWidget(fields[r], 1 + r, col + 1);
            if (!units[r]) continue;
            QLabel* range = label(units[r]);
            ranges_[s][r == 1 ? 0 : r - 2] = range;
            grid->addWidget(range, 1 + r, col + 2);
        }
    }
    grid->setColumnMinimumWidth(3, 24);
    grid->setColumnStretch(7, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(16, 16, 16, 16);
    page->addLayout(grid);
    page->addSpacing(12);
    page->addLayout(buttons);
    page->addStretch(1);

    for (int ch = 1; ch <= (owner ? owner->channel_count() : 0); ++ch)
        channel_->addItem(QString::number(ch));
    const int type = owner ? owner->device_type() : -1;
    QStringList main, sub;
    if (type == kDeviceTypeLangChi) {
        main = kLangChiMainSizes;
        sub = kLangChiSubSizes;
    } else if (type == kDeviceTypeAnts) {
        main = sub = kAntsSizes;
        ability_ = QByteArray(kAntsAbilityBytes, '\0');
    } else if (type == kDeviceTypeQv) {
        main = sub = kQvSizes;
    } else if (type == kDeviceTypeZyn) {
        for (const auto& c : zyn::wire::kResolutionChoices) main << QString(c.name).toUpper();
        sub = main;
        // The ranges the device takes, from the field table.
        for (int s = 0; s < 2; ++s) {
            const ZynStream& f = kZynStreams[s];
            const zyn::wire::ParamField* fields[3] = {&f.bitrate, &f.fps, &f.gop};
            for (int i = 0; i < 3; ++i)
                ranges_[s][i]->setText(QString("(%1-%2%3)")
                                           .arg(fields[i]->min)
                                           .arg(fields[i]->max)
                                           .arg(i == 0 ? "kbps" : ""));
        }
    }
    size_[0]->addItems(Translated(main));
    size_[1]->addItems(Translated(sub));
    for (int s = 0; s < 2; ++s) mode_[s]->addItems(Translated({"CBR", "VBR"}));
    for (QComboBox* list : {channel_, size_[0], size_[1], mode_[0], mode_[1]})
        list->setCurrentIndex(list->count() > 0 ? 0 : -1);

    connect(ok_, &QPushButton::clicked, this, &CVideoCodingDlg::OnSave);
    connect(channel_, &QComboBox::currentIndexChanged, this, &CVideoCodingDlg::OnChannelChanged);
}

int CVideoCodingDlg::LangChiMainSizeEntry(int code) {
    if (code >= 0 && code <= 3) return code;
    if (code >= 4 && code <= 12) return code - 1;
    switch (code) {
        case 41:
            return 12;
        case 42:
            return 15;
        case 43:
            return 13;
        case 44:
            return 14;
        default:
            return -1;
    }
}

int CVideoCodingDlg::AntsBitRate(quint32 field) {
    if (field & kCustomRate) return static_cast<int>(field & ~kCustomRate);
    return field < std::size(kAntsRates) ? kAntsRates[field] : -1;
}

int CVideoCodingDlg::AntsFrameRateCode(const QByteArray& ability, int rate) {
    int first = 0, count = 0;
    if (!FrameRates(ability, &first, &count)) return 0;
    for (int i = 0; i < count; ++i)
        if (AntsFrameRateText(ability, i).toInt() == rate) return i;
    return 0;
}

QString CVideoCodingDlg::AntsFrameRateText(const QByteArray& ability, int code) {
    int first = 0, count = 0;
    if (!FrameRates(ability, &first, &count) || code < 0 || code >= count) return {};
    const char* entry = ability.constData() + first + code * kEntryBytes;
    return QString::fromLatin1(entry, int(strnlen(entry, kEntryBytes)));
}

void CVideoCodingDlg::OnPageActivated(quint32 channel, quint32 store) {
    const int type = owner() ? owner()->device_type() : -1;
    if (!owner() || !owner()->device()) return;
    // A load (the window's activation passes 0) reads the channel chosen in
    // the list; a save writes the channel it is given.
    const int ch = store ? static_cast<int>(channel) : channel_index_;
    if (type == kDeviceTypeLangChi)
        store ? SaveLangChi(ch) : LoadLangChi(ch);
    else if (type == kDeviceTypeAnts)
        store ? SaveAnts(ch) : LoadAnts(ch);
    else if (type == kDeviceTypeQv)
        store ? SaveQv(ch) : LoadQv(ch);
    else if (type == kDeviceTypeZyn)
        store ? SaveZyn(ch) : LoadZyn(ch);
    shown_ = Shown();  // what the device now holds, as far as the page knows
}

void CVideoCodingDlg::OnSave() {
    OnPageActivated(static_cast<quint32>(channel_index_), 1);
}

QStringList CVideoCodingDlg::Shown() const {
    QStringList values;
    for (int s = 0; s < 2; ++s) {
        values << QString::number(size_[s]->currentIndex())
               << QString::number(mode_[s]->currentIndex()) << bit_rate_[s]->text()
               << frame_rate_[s]->text() << iframe_[s]->text();
    }
    return values;
}

// Another channel: unsaved changes of the one shown are saved or dropped
// as the user answers, then the new channel is read.
void CVideoCodingDlg::OnChannelChanged(int index) {
    if (index < 0 || index == channel_index_) return;
    if (Shown() != shown_ &&
        CRHYesNoToAllDialog::Ask(this, "The parameters of this channel have changed. Save them?"))
        OnPageActivated(static_cast<quint32>(channel_index_), 1);
    channel_index_ = index;
    OnPageActivated(static_cast<quint32>(index), 0);
}

void CVideoCodingDlg::ShowStream(int stream, int bit_rate, int frame_rate, int iframe) {
    if (bit_rate >= 0) bit_rate_[stream]->setText(QString::number(bit_rate));
    frame_rate_[stream]->setText(QString::number(frame_rate));
    iframe_[stream]->setText(QString::number(iframe));
}

// LangChi: main record by command 8/9, sub record by 47/48; size code at
// 20, I-frame interval 24, frame rate 28, mode 32, bit rate 44.
void CVideoCodingDlg::LoadLangChi(int channel) {
    auto* device = dynamic_cast<CLangChiDevice*>(owner()->device());
    if (!device) return;
    if (lc_main_.isEmpty()) lc_main_ = QByteArray(kLangChiRecordBytes, '\0');
    if (lc_sub_.isEmpty()) lc_sub_ = QByteArray(kLangChiRecordBytes, '\0');
    auto read = [&](int command, QByteArray& into) {
        QByteArray got(kLangChiRecordBytes, '\0');
        if (!device->LangChiConfig(0, command, channel, reinterpret_cast<intptr_t>(got.data()),
                                   kLangChiRecordBytes, 0))
            return false;
        into = got;
        return true;
    };
    if (read(8, lc_main_)) {
        ShowStream(0, RecordI32(lc_main_, 44), RecordI32(lc_main_, 28), RecordI32(lc_main_, 24));
        Select(mode_[0], RecordI32(lc_main_, 32));
        Select(size_[0], LangChiMainSizeEntry(RecordI32(lc_main_, 20)));
    }
    if (read(47, lc_sub_)) {
        ShowStream(1, RecordI32(lc_sub_, 44), RecordI32(lc_sub_, 28), RecordI32(lc_sub_, 24));
        Select(size_[1], RecordI32(lc_sub_, 20));
        Select(mode_[1], RecordI32(lc_sub_, 32));
    }
}

void CVideoCodingDlg::SaveLangChi(int channel) {
    auto* device = dynamic_cast<CLangChiDevice*>(owner()->device());
    if (!device || lc_main_.isEmpty() || lc_sub_.isEmpty()) return;
    auto put = [&](QByteArray& r, int s) {
        SetRecordU32(r, 44, Value(bit_rate_[s]));
        SetRecordU32(r, 28, Value(frame_rate_[s]));
        SetRecordU32(r, 24, Value(iframe_[s]));
        SetRecordU32(r, 32, mode_[s]->currentIndex());
    };
    auto write = [&](int command, QByteArray& r) {
        return device->LangChiConfig(0, command, channel, reinterpret_cast<intptr_t>(r.data()),
                                     kLangChiRecordBytes, 0) != 0;
    };
    put(lc_main_, 0);  // the main size code stays as the device has it
    if (!write(9, lc_main_)) return;
    put(lc_sub_, 1);
    SetRecordU32(lc_sub_, 20, size_[1]->currentIndex());
    write(48, lc_sub_);
}

// ANTS: one record (command 104/204, channel + 1) with the main stream's
// block first and the sub stream's fourth.
void CVideoCodingDlg::LoadAnts(int channel) {
    auto* device = dynamic_cast<CANTSDevice*>(owner()->device());
    if (!device) return;
    if (ants_.isEmpty()) ants_ = QByteArray(kAntsRecordBytes, '\0');
    if (device->LoginHandle() != 0) {
        const qint32 one = 1;
        if (!device->GetDeviceAbility(1024, &one, sizeof one, ability_.data(), ability_.size()))
            ability_.fill('\0');
    }
    QByteArray got(kAntsRecordBytes, '\0');
    int returned = 0;
    if (!device->GetDVRConfig(104, channel + 1, got.data(), kAntsRecordBytes, &returned)) return;
    ants_ = got;
    for (int s = 0; s < 2; ++s) {
        const AntsStream& f = kAntsStreams[s];
        const QString rate = AntsFrameRateText(ability_, RecordI32(ants_, f.frame));
        ShowStream(s, AntsBitRate(static_cast<quint32>(RecordI32(ants_, f.rate))), rate.toInt(),
                   RecordU16(ants_, f.iframe));
        const int size = static_cast<quint8>(ants_[f.size]);
        if (size > 15) Select(size_[s], size - 11);
        Select(mode_[s], static_cast<quint8>(ants_[f.mode]));
    }
}

void CVideoCodingDlg::SaveAnts(int channel) {
    auto* device = dynamic_cast<CANTSDevice*>(owner()->device());
    if (!device || ants_.isEmpty()) return;
    for (int s = 0; s < 2; ++s) {
        const AntsStream& f = kAntsStreams[s];
        SetRecordU32(ants_, f.rate, kCustomRate | static_cast<quint32>(Value(bit_rate_[s])));
        SetRecordU32(ants_, f.frame, AntsFrameRateCode(ability_, Value(frame_rate_[s])));
        SetRecordU16(ants_, f.iframe, Value(iframe_[s]));
        ants_[f.mode] = static_cast<char>(qMax(0, mode_[s]->currentIndex()));
    }
    device->SetDVRConfig(204, channel + 1, ants_.constData(), kAntsRecordBytes);
}

// QV: one 56-byte record per stream, read with 0x1000000E and written with
// 274; size 56 at 0, channel 4, stream 8, frame rate 24, mode 32, size 36,
// bit rate 40, I-frame interval 48, 1 at 52 when written. 0 is success.
void CVideoCodingDlg::LoadQv(int channel) {
    auto* device = dynamic_cast<CQVDevice*>(owner()->device());
    if (!device) return;
    QByteArray* records[2] = {&qv_main_, &qv_sub_};
    for (int s = 0; s < 2; ++s) {
        QByteArray& r = *records[s];
        if (r.isEmpty()) r = QByteArray(kQvRecordBytes, '\0');
        QByteArray got(kQvRecordBytes, '\0');
        SetRecordU32(got, 0, kQvRecordBytes);
        SetRecordU32(got, 4, channel);
        SetRecordU32(got, 8, s);
        int returned = 0;
        if (device->GetQVConfig(0, 0x1000000E, 0, got.data(), kQvRecordBytes, &returned) != 0)
            continue;
        r = got;
        ShowStream(s, RecordI32(r, 40), RecordI32(r, 24), RecordI32(r, 48));
        Select(size_[s], RecordI32(r, 36));
        Select(mode_[s], RecordI32(r, 32));
    }
}

void CVideoCodingDlg::SaveQv(int channel) {
    auto* device = dynamic_cast<CQVDevice*>(owner()->device());
    if (!device || qv_main_.isEmpty()) return;
    QByteArray* records[2] = {&qv_main_, &qv_sub_};
    for (int s = 0; s < 2; ++s) {
        QByteArray& r = *records[s];
        SetRecordU32(r, 0, kQvRecordBytes);
        SetRecordU32(r, 4, channel);
        SetRecordU32(r, 8, s);
        SetRecordU32(r, 24, Value(frame_rate_[s]));
        SetRecordU32(r, 32, mode_[s]->currentIndex());
        SetRecordU32(r, 36, size_[s]->currentIndex());
        SetRecordU32(r, 40, Value(bit_rate_[s]));
        SetRecordU32(r, 48, Value(iframe_[s]));
        SetRecordU32(r, 52, 1);
        if (device->SetQVConfig(0, 274, 0, r.constData(), kQvRecordBytes) != 0) return;
    }
}

// Own protocol: the channel's video record, read the first time the channel
// is shown; a failed read leaves the controls as they were.
void CVideoCodingDlg::LoadZyn(int channel) {
    auto cached = zyn_video_.find(channel);
    if (cached == zyn_video_.end()) {
        ZynRecord r;
        if (!ZynRead(ZynOf(this), ParamGroup::kVideo, channel, r)) return;
        cached = zyn_video_.emplace(channel, std::move(r)).first;
    }
    const ZynRecord& r = cached->second;
    for (int s = 0; s < 2; ++s) {
        const ZynStream& f = kZynStreams[s];
        ShowStream(s, int(ZynValue(r, f.bitrate)), int(ZynValue(r, f.fps)),
                   int(ZynValue(r, f.gop)));
        // A size the list does not name (code 0) shows no entry.
        size_[s]->setCurrentIndex(ChoiceIndex(f.resolution, ZynValue(r, f.resolution)));
        Select(mode_[s], ChoiceIndex(f.mode, ZynValue(r, f.mode)));
    }
}

void CVideoCodingDlg::SaveZyn(int channel) {
    CZynDevice* device = ZynOf(this);
    ZynRecord r;
    if (!ZynRead(device, ParamGroup::kVideo, channel, r)) {
        ShowTips(this, "Set failed");
        return;
    }
    static const char* const kLabels[3] = {"bit rate", "frame rate", "I frame interval"};
    for (int s = 0; s < 2; ++s) {
        const ZynStream& f = kZynStreams[s];
        // No entry picked keeps the stored size.
        if (const int size = size_[s]->currentIndex(); size >= 0)
            zyn::wire::SetFieldValue(r.data(), f.resolution, f.resolution.choices[size].value);
        if (const int mode = mode_[s]->currentIndex(); mode >= 0 && mode < f.mode.choice_count)
            zyn::wire::SetFieldValue(r.data(), f.mode, f.mode.choices[mode].value);
        const QLineEdit* edits[3] = {bit_rate_[s], frame_rate_[s], iframe_[s]};
        const zyn::wire::ParamField* fields[3] = {&f.bitrate, &f.fps, &f.gop};
        for (int i = 0; i < 3; ++i) {
            const QString bad = ZynParse(r, *fields[i], edits[i]->text(), kLabels[i]);
            if (!bad.isEmpty()) {
                CRHYesNoToAllDialog::TellText(this, bad);
                return;  // nothing sent
            }
        }
    }
    if (!ZynWrite(device, ParamGroup::kVideo, channel, r)) {
        ShowTips(this, "Set failed");
        return;
    }
    zyn_video_[channel] = std::move(r);
    ShowTips(this, "Set success");
}

}  // namespace configctrl
