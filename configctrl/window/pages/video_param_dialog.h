// The page "Character overlay" (dialog 220): live video of the chosen
// channel, four picture values on sliders (sent to the device at once, all
// four together), and the channel name and time overlays with their
// positions (sent by "OK").
//
// The four values in their fixed order: value 1 is slider 300, value 2
// slider 305, value 3 slider 304, value 4 slider 302.
//
// Vendor paths:
// - ANTS: values through the client video effect of the playing channel;
//   overlay in the 7336-byte picture record (read 103, written 201).
// - QV: values in a 32-byte record (read 0x10000007, written 267); name in
//   a 60-byte record (read 0x10000009, written 269).
// - LangChi: values as four bytes (read 21, written 22); overlay in a
//   160-byte buffer (read 314, else 17; written 315, else 18); the name from
//   the channel record (8).
// - own protocol: the video group of the channel (brightness, contrast,
//   saturation, hue; title, its flag and position; time flag and position),
//   fields through the shared field table, read with GetParam and written
//   with SetParam.
#pragma once

#include <array>

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSlider;

namespace configctrl {

class CLivePreview;

class CVideoParamDialog : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 220;
    // ANTS picture record.
    static constexpr int kAntsRecordBytes = 7336, kAntsRead = 103, kAntsWrite = 201;
    static constexpr int kAntsName = 4, kAntsValues = 40, kAntsNameFlag = 104, kAntsNameX = 108,
                         kAntsNameY = 110, kAntsTimeFlag = 7260, kAntsTimeX = 7264,
                         kAntsTimeY = 7266;
    static constexpr int kAntsDefault = 5;
    // QV records: picture values (value 4 at 8, 3 at 12, 2 at 16, 1 at 20),
    // and the overlay: channel at 4, name (48 bytes) at 8, then our flags:
    // name shown at 56, time shown at 57.
    static constexpr uint32_t kQvValuesRead = 0x10000007, kQvValuesWrite = 267;
    static constexpr uint32_t kQvOverlayRead = 0x10000009, kQvOverlayWrite = 269;
    static constexpr int kQvValuesBytes = 32, kQvOverlayBytes = 60, kQvName = 8, kQvNameBytes = 48,
                         kQvNameFlag = 56, kQvTimeFlag = 57;
    static constexpr int kQvDefault = 50;
    // LangChi: picture bytes, the overlay buffer and the channel record.
    // Our layout of the 160-byte buffer: time flag (32-bit) at 0, time X and
    // Y (16-bit) at 4 and 6, name X and Y at 8 and 10, text flag (32-bit)
    // at 12, text (64 bytes) at 16.
    static constexpr int kLcValuesRead = 21, kLcValuesWrite = 22, kLcOverlayRead = 314,
                         kLcOverlayReadOld = 17, kLcOverlayWrite = 315, kLcOverlayWriteOld = 18,
                         kLcChannelRead = 8;
    static constexpr int kLcOverlayBytes = 160, kLcTimeFlag = 0, kLcTimeX = 4, kLcTimeY = 6,
                         kLcNameX = 8, kLcNameY = 10, kLcTextFlag = 12, kLcText = 16,
                         kLcTextBytes = 64, kLcChannelBytes = 132, kLcChannelName = 0,
                         kLcChannelNameBytes = 20;
    static constexpr std::array<int, 4> kLcDefaults = {110, 140, 128, 8};
    static constexpr int kZynDefault = 128;

    explicit CVideoParamDialog(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    // The four values in their fixed order (value 1 first).
    std::array<int, 4> Values() const;
    QSlider* slider(int value_index) const { return sliders_[value_index]; }
    CLivePreview* preview() const { return preview_; }
    int channel() const { return channel_; }

private:
    void Load();
    void ShowValues(const std::array<int, 4>& values);
    bool SendValues();
    void Defaults();
    void Ok();
    void ChangeChannel(int channel);

    int channel_ = 0;
    PageRecord record_;  // empty: not cached (the vendor's overlay or video record)

    QComboBox* channel_list_;
    CLivePreview* preview_;
    std::array<QSlider*, 4> sliders_{};  // by value index
    QLineEdit *name_, *name_x_, *name_y_, *time_x_, *time_y_, *text_;
    QCheckBox *time_, *text_check_;
};

}  // namespace configctrl
