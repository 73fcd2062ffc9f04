// The page "motion detection" of ANTS devices (dialog 652): per channel the
// detection area, drawn as up to four rectangles over the live video and
// mapped onto the record's 96 x 64 grid, the sensitivity, the actions on
// motion and a weekly schedule of four periods a day. One record per
// channel, read on activation and cached until the channel changes.
//
// Own-protocol devices (type 1) use the same page on the channel's motion
// group (fields through the shared field table): the rectangles map onto
// its 22 x 18 grid (one cell per grid step of the 352 x 288 preview), the
// sensitivity list entries 0..5 are its sensitivity 1..6, "Report Alarm" is
// detection on, "Email JPEG" the capture, "Trigger Alarm Output:" the alarm
// output, the recording-channel list its recording channels, and the
// schedule its two windows a day (the first two periods).
#pragma once

#include <QRect>

#include <array>
#include <cstdint>
#include <vector>

#include "configctrl/window/dialog_ex.h"

class QCheckBox;
class QPainter;
class QComboBox;
class QTreeWidget;

namespace configctrl {

class CScheduleEditor;

class CLivePreview;

// The drawing over the preview: anchors and drags rectangles with the left
// button, and paints them (or the grid when showing it) on the preview's
// overlay.
class CMotionArea {
public:
    static constexpr int kSlots = 4;

    int step = 16;              // grid step in pixels
    bool drawing = false;       // "Setup Motion Area"
    bool show_grid = false;     // "Show Motion Area"
    std::vector<uint8_t> grid;  // cells to show, one byte each, row-major
    int grid_columns = 0;
    std::array<QRect, kSlots> rects{};  // normalised on use; null: unused
    int next_slot = 0;

    // A preview point rounded as an anchor or corner: less 10 pixels, down to
    // the grid step, never below 0.
    QPoint Round(QPoint p) const;
    // Left button down at p: the next slot, anchored there. False when not drawing.
    bool Press(QPoint p);
    // Moved with the button held: the current slot's opposite corner.
    bool Drag(QPoint p);
    void Paint(QPainter& painter) const;

private:
    int current_ = -1;
};

class CDlgRemoteMotionDetect : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 652;
    static constexpr int kRecordBytes = 6396, kRead = 306, kWrite = 506;
    static constexpr int kRows = 64, kColumns = 96, kSensitivity = 6144;
    // Our placement of the actions and the schedule after the sensitivity.
    static constexpr int kShowAlarm = 6145, kAudioAlarm = 6146, kReportAlarm = 6147,
                         kEmailJpeg = 6148, kTriggerOutput = 6149, kOutputs = 6152,
                         kRecordChannels = 6156, kSchedule = 6188;
    static constexpr int kPeriods = 4, kDayBytes = 4 * kPeriods, kDays = 7, kMaxOutputs = 4;
    // Own protocol: the preview's grid step onto its 22 x 18 grid.
    static constexpr int kZynStep = 16;

    explicit CDlgRemoteMotionDetect(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    const std::vector<uint8_t>& record() const { return record_; }
    // The surface the rectangles are drawn on: the live preview.
    QWidget* area() const;
    CLivePreview* preview() const { return preview_; }
    const CMotionArea& motion_area() const { return area_; }
    CScheduleEditor* schedule() const { return schedule_; }
    // Marks the cells of the drawn rectangles on a grid of columns x rows
    // bytes (cleared first); cells past the grid are skipped.
    static void MarkGrid(const std::array<QRect, CMotionArea::kSlots>& rects, int step,
                         uint8_t* grid, int columns = kColumns, int rows = kRows);

private:
    bool IsZyn() const;
    void Load();
    void ShowRecord();
    // The shown grid: the ANTS record's bytes, or the own record's rows unpacked.
    void ShowGrid();
    void Redraw();
    bool StoreDay();
    void CopyDay();
    void Save();
    void ChangeChannel(int channel);

    int channel_ = 0;
    bool area_set_up_ = false;
    std::vector<uint8_t> record_;  // empty: not cached

    QComboBox *channel_list_, *precision_, *sensitivity_, *day_list_, *day_copy_list_;
    CLivePreview* preview_;
    CMotionArea area_;
    QCheckBox *show_area_, *setup_area_;
    std::array<QCheckBox*, 5> actions_{};  // show, audio, report, email, trigger output
    QTreeWidget *outputs_, *channels_;
    CScheduleEditor* schedule_;
};

}  // namespace configctrl
