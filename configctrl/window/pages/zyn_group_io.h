// Own-protocol (type 1) pages: one parameter group of the device read or
// written through CZynDevice, its fields reached only by name through the
// field table of zynvs/wire/param_fields.h. Records are the pages' common
// PageRecord.
#pragma once

#include <QString>

#include <cstdint>

#include "configctrl/window/pages/page_kit.h"
#include "zynvs/wire/param_fields.h"

namespace configctrl {

class CPageDialog;
class CZynDevice;

using ZynRecord = PageRecord;

// Reads the group's record of `channel` (ignored by whole-device groups)
// into `out`, sized to the group. False (and `out` untouched) on failure.
bool ZynRead(CZynDevice* device, zyn::wire::ParamGroup group, int channel, ZynRecord& out);
// Writes the record; false when it is not the group's size or the device
// refuses it.
bool ZynWrite(CZynDevice* device, zyn::wire::ParamGroup group, int channel, ZynRecord& record);

// A field by name (the names are checked when compiled).
inline const zyn::wire::ParamField& ZynField(zyn::wire::ParamGroup group, const char* name) {
    return zyn::wire::Field(group, name);
}
inline int64_t ZynValue(const ZynRecord& r, const zyn::wire::ParamField& f) {
    return zyn::wire::FieldValue(r.data(), f);
}
// A field as text (empty for an unknown name or a record of the wrong size).
QString ZynText(const ZynRecord& r, zyn::wire::ParamGroup group, const char* name);
// Texts are cut at the field's width. False (record untouched) for an
// unknown or read-only field or a text that is no value of it.
bool SetZynText(ZynRecord& r, zyn::wire::ParamGroup group, const char* name, const QString& text);
// Writes the typed `text` into the field. On a bad value the record stays
// as it was and the result is a translated message naming `label` and what
// the field accepts; an empty result means done.
QString ZynParse(ZynRecord& r, const zyn::wire::ParamField& f, const QString& text,
                 const char* label);

}  // namespace configctrl
