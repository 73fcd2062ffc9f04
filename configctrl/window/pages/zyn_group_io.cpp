#include "configctrl/window/pages/zyn_group_io.h"

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/front_set_dialog.h"

namespace configctrl {

namespace {

using zyn::wire::ParamGroup;

// The control's group number of a wire group; -1 for none.
int ControlGroup(ParamGroup g) {
    switch (g) {
        case ParamGroup::kBase:
            return kGroupBase;
        case ParamGroup::kNetwork:
            return kGroupNetwork;
        case ParamGroup::kRecord:
            return kGroupRecord;
        case ParamGroup::kAudio:
            return kGroupAudio;
        case ParamGroup::kMask:
            return kGroupMask;
        case ParamGroup::kMotion:
            return kGroupMotion;
        case ParamGroup::kRs:
            return kGroupRs;
        case ParamGroup::kSensor:
            return kGroupSensor;
        case ParamGroup::kVideo:
            return kGroupVideo;
        case ParamGroup::kVLoss:
            return kGroupVLoss;
        case ParamGroup::kPan:
            return kGroupPan;
        case ParamGroup::kCapture:
            return kGroupCapture;
        case ParamGroup::kWifi:
            return kGroupWifi;
        case ParamGroup::k3G:
            return kGroup3G;
        case ParamGroup::kFtp:
            return kGroupFtp;
        case ParamGroup::kMail:
            return kGroupMail;
        case ParamGroup::kCount:
            break;
    }
    return -1;
}

size_t RecordBytes(ParamGroup g) {
    return zyn::wire::GroupInfo(g).record_bytes;
}

}  // namespace

bool ZynRead(CZynDevice* device, ParamGroup group, int channel, ZynRecord& out) {
    const int number = ControlGroup(group);
    if (device == nullptr || number < 0) return false;
    ZynRecord got(RecordBytes(group));
    if (device->GetParam(channel, number, got.data()) != 1) return false;
    out = std::move(got);
    return true;
}

bool ZynWrite(CZynDevice* device, ParamGroup group, int channel, ZynRecord& record) {
    const int number = ControlGroup(group);
    if (device == nullptr || number < 0 || record.size() != RecordBytes(group)) return false;
    return device->SetParam(channel, number, record.data()) == 1;
}

QString ZynText(const ZynRecord& r, ParamGroup group, const char* name) {
    if (r.size() != RecordBytes(group)) return {};
    return QString::fromLocal8Bit(zyn::wire::GetField(group, r.data(), name));
}

bool SetZynText(ZynRecord& r, ParamGroup group, const char* name, const QString& text) {
    const zyn::wire::ParamField* f = zyn::wire::FindField(group, name);
    if (r.size() != RecordBytes(group) || f == nullptr) return false;
    QByteArray b = text.toLocal8Bit();
    // Texts are cut at the field's width, like every other bounded copy.
    if (f->kind == zyn::wire::FieldKind::kText)
        b.truncate(std::min<qsizetype>(b.size(), f->size - 1));
    return zyn::wire::SetField(group, r.data(), name, std::string_view(b.constData(), b.size()));
}

QString ZynParse(ZynRecord& r, const zyn::wire::ParamField& f, const QString& text,
                 const char* label) {
    const QByteArray bytes = text.trimmed().toUtf8();
    if (f.offset + f.size <= r.size() &&
        zyn::wire::ParseField(std::string_view(bytes.constData(), size_t(bytes.size())), f,
                              r.data()))
        return {};
    return TranslateText(QString(label)) + ": " + QString::fromStdString(zyn::wire::FieldSyntax(f));
}

}  // namespace configctrl
