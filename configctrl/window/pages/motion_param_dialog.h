// The page "motion detection" of LangChi devices (dialog 653): per channel
// "Start motion detection:", the sensitivity, seven schedule rows with the
// day-mode lists of the sensor page, the channels whose recording motion
// triggers and the alarm outputs it switches, and the detection area drawn
// as a grid over the channel's preview ("clear" empties it, "all" fills
// it). One 468-byte record per channel, read with LangChi command 12 and
// written with command 13 (the channel as the command's channel argument),
// read the first time its channel is shown and kept; "OK" writes the record
// of every channel shown so far and reports "Set success" or "Set failed".
//
// Record layout (little-endian; chosen here, the emulated library keeps to
// it):
//   0    detection enable (32-bit, 0 or 1)
//   4    sensitivity (32-bit, 0 lowest .. 5 highest)
//   8+c  trigger recording of channel c + 1 (byte, c = 0..3)
//   12+o trigger alarm output o + 1 (byte, o = 0..3)
//   16+8r schedule row r (r = 0..6): start hour, start minute, end hour,
//        end minute, day-mode index (0 "Mon" .. 6 "Sun", 7 "Mon To Fri",
//        8 "Sat To Sun", 9 "Everyday", 10 "close"), three reserved bytes
//   72   the detection grid: 18 rows of 22 cells, one byte per cell, row
//        after row from the top left; 1 detects motion in the cell, 0
//        ignores it (72 + 22 * row + column; 72 + 396 = 468)
//
// The grid is drawn over the channel's live video (CLivePreview): a left
// press and drag marks the rectangle of cells it spans, or clears it when
// the press was on a marked cell; marked cells are outlined over the video.
//
// Control ids: the ones the sensor page uses for the same controls (494
// enable, 495-501 day modes, 502-529 times, 530-537 trigger boxes, 541
// "OK"), and those of the ANTS motion page for the channel list (307), the
// preview (639), "clear" (397), "all" (398) and the sensitivity (646).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "configctrl/window/dialog_ex.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPainter;

namespace configctrl {

class CLivePreview;

class CMotionParamDialog : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 653;
    static constexpr int kRecordBytes = 468, kRead = 12, kWrite = 13, kRows = 7;
    static constexpr int kEnable = 0, kSensitivity = 4, kRecordFlags = 8, kOutputFlags = 12,
                         kSchedule = 16, kGrid = 72;
    static constexpr int kGridColumns = 22, kGridRows = 18;
    static constexpr int kPreviewWidth = 352, kPreviewHeight = 288;  // 16 x 16 pixels a cell

    explicit CMotionParamDialog(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    CLivePreview* preview() const { return preview_; }
    // The grid shown: kGridColumns * kGridRows bytes, row after row.
    const std::vector<uint8_t>& cells() const { return cells_; }
    // The cell (column, row) under a point of a preview of `size`, clamped.
    static QPoint CellAt(QSize size, QPoint at);
    // The cached record of a channel (empty when it was not shown yet).
    std::vector<uint8_t> record(int channel) const;

private:
    void StoreChannel();
    void ShowChannel(int channel);
    void Save();
    void FillGrid(uint8_t value);
    void PressGrid(QPoint at);
    void DragGrid(QPoint at);
    void PaintGrid(QPainter& p) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::map<int, std::vector<uint8_t>> records_;  // by channel, once read
    int shown_channel_ = -1;

    QComboBox* channel_list_;
    QCheckBox* enable_;
    QComboBox* sensitivity_;
    CLivePreview* preview_;
    std::vector<uint8_t> cells_;   // the shown channel's grid
    std::vector<uint8_t> before_;  // the grid when the drag began
    QPoint anchor_;                // the cell the drag began in
    uint8_t drag_value_ = 1;
    std::array<QComboBox*, kRows> modes_{};
    std::array<std::array<QLineEdit*, 4>, kRows> times_{};
    std::array<QCheckBox*, 4> record_checks_{}, output_checks_{};
};

}  // namespace configctrl
