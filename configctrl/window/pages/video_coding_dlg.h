// The page "video coding" (dialog 219): picture size, bit rate, bit-rate
// mode, frame rate and I-frame interval of one channel's main and sub
// stream, for LangChi, ANTS, QV and own-protocol devices.
// OnPageActivated(channel, store) loads (store 0, from the window) and saves
// (store 1, from the "OK" button). Choosing another channel in the list
// offers to save the shown channel's unsaved changes, then reads the chosen
// one.
//
// Own-protocol devices keep the coding in the per-channel video record
// (fields by name from zynvs/wire/param_fields.h). Picking a channel shows
// that channel (read once, then cached); a save reads the record afresh,
// changes only the coding fields (the overlay fields of the same record
// belong to the character overlay page), checks every typed value against
// the field's range before anything is sent, and reports "Set success" or
// "Set failed".
#pragma once

#include <QByteArray>
#include <QStringList>

#include <map>
#include <vector>

#include "configctrl/window/dialog_ex.h"
#include "configctrl/window/pages/page_kit.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace configctrl {

class CVideoCodingDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 219;
    static constexpr int kLangChiRecordBytes = 132;
    static constexpr int kAntsRecordBytes = 116;
    static constexpr int kQvRecordBytes = 56;
    static constexpr int kAntsAbilityBytes = 160232;

    explicit CVideoCodingDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32 channel, quint32 store) override;

    // The two streams' controls: [0] main, [1] sub.
    QComboBox* size_list(int stream) const { return size_[stream]; }
    QComboBox* mode_list(int stream) const { return mode_[stream]; }
    QLineEdit* bit_rate(int stream) const { return bit_rate_[stream]; }
    QLineEdit* frame_rate(int stream) const { return frame_rate_[stream]; }
    QLineEdit* iframe(int stream) const { return iframe_[stream]; }
    QComboBox* channel_list() const { return channel_; }
    QPushButton* ok_button() const { return ok_; }

    // The size entry a LangChi main size code selects; -1: none.
    static int LangChiMainSizeEntry(int code);
    // An ANTS bit rate field in kbit/s: the custom rate (top bit) or a code.
    static int AntsBitRate(quint32 field);
    // The index of the first frame-rate entry of an ANTS ability list whose
    // text is `rate`; 0 when none is.
    static int AntsFrameRateCode(const QByteArray& ability, int rate);
    // The text of frame-rate entry `code` ("" when there is none).
    static QString AntsFrameRateText(const QByteArray& ability, int code);

private:
    void OnSave();
    void OnChannelChanged(int index);
    QStringList Shown() const;  // the stream controls' values
    void LoadLangChi(int channel);
    void SaveLangChi(int channel);
    void LoadAnts(int channel);
    void SaveAnts(int channel);
    void LoadQv(int channel);
    void SaveQv(int channel);
    void LoadZyn(int channel);
    void SaveZyn(int channel);
    void ShowStream(int stream, int bit_rate, int frame_rate, int iframe);

    QComboBox* channel_;
    QComboBox* size_[2];
    QComboBox* mode_[2];
    QLineEdit* bit_rate_[2];
    QLineEdit* frame_rate_[2];
    QLineEdit* iframe_[2];
    QPushButton* ok_;
    QLabel* ranges_[2][3];  // bit rate, frame rate, I-frame interval

    int channel_index_ = 0;  // the channel loads and saves use
    QStringList shown_;      // Shown() after the last load or save
    QByteArray lc_main_, lc_sub_, ants_, qv_main_, qv_sub_, ability_;
    std::map<int, PageRecord> zyn_video_;  // own protocol: records read, by channel
};

}  // namespace configctrl
