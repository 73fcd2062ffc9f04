// What an ANTS alarm input sets off, edited in its cached input record:
// "Setup" (the handling: audible warning, upload to the centre, the alarm
// outputs it switches) and "Trigger PTZ" (per channel a preset, cruise or
// track to call). A window-modal dialog without a local event loop; "OK"
// hands the changed bytes back to the page, which writes them on "save".
//
// Input record bytes used here (592 bytes in all; name, contact type and
// handling enable are the page's):
//   38        handling flags: bit 0 audible warning, bit 1 upload to centre
//   40 + i    1: the input switches alarm output i (i < 16)
//   56 + 4*c  PTZ of channel c (c < 32): action (0 none, 1 preset, 2 cruise,
//             3 track) at +0, its number at +1
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "configctrl/window/dialog_ex.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace configctrl {

class CDlgRemoteAlarmInHandle : public CDialogEx {
    Q_OBJECT

public:
    static constexpr int kDialogId = 225;
    static constexpr int kFlags = 38, kOutputs = 40, kMaxOutputs = 16;
    static constexpr int kPtz = 56, kPtzBytes = 4, kMaxChannels = 32;
    static constexpr int kRowsShown = 8;  // PTZ rows; more scroll
    static constexpr int kFirstByte = kFlags, kEndByte = kPtz + kPtzBytes * kMaxChannels;
    enum class Section { kHandling, kPtz };
    // Receives the record with the dialog's bytes in [kFirstByte, kEndByte).
    using Apply = std::function<void(const std::vector<uint8_t>& record)>;

    CDlgRemoteAlarmInHandle(Section section, const std::vector<uint8_t>& record, int outputs,
                            int channels, Apply apply, QWidget* parent);
    void OnPageActivated(quint32, quint32) override {}

private:
    void Accept();

    Section section_;
    std::vector<uint8_t> record_;
    Apply apply_;
    QCheckBox *audible_ = nullptr, *upload_ = nullptr;
    std::vector<QCheckBox*> outputs_;
    std::vector<QComboBox*> actions_;
    std::vector<QSpinBox*> numbers_;
};

}  // namespace configctrl
