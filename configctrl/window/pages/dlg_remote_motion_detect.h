// The page "motion detection" of ANTS devices (dialog 652): per channel the
// detection area, drawn as up to four rectangles over the live video and
// mapped onto the record's 96 x 64 grid, the sensitivity, the actions on
// motion and a weekly schedule of four periods a day. One record per
// channel, read on activation and cached until the channel changes.
#pragma once

#include <QRect>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

#include "configctrl/window/dialog_ex.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QTreeWidget;

namespace configctrl {

class CScheduleEditor;

// The drawing surface over the preview: anchors and drags rectangles with
// the left button and paints them (or the record's grid when showing it).
class CMotionArea : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSlots = 4;
    explicit CMotionArea(QWidget* parent);

    int step = 16;                      // grid step in pixels
    bool drawing = false;               // "Setup Motion Area"
    bool show_grid = false;             // "Show Motion Area"
    const uint8_t* grid = nullptr;      // the cached record's grid, while shown
    std::array<QRect, kSlots> rects{};  // normalised on use; null: unused
    int next_slot = 0;

    // A preview point rounded as an anchor or corner: less 10 pixels, down to
    // the grid step, never below 0.
    QPoint Round(QPoint p) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

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

    explicit CDlgRemoteMotionDetect(CFrontSetDialog* owner);
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

    const std::vector<uint8_t>& record() const { return record_; }
    CMotionArea* area() const { return area_; }
    CScheduleEditor* schedule() const { return schedule_; }
    // Marks the grid cells of the drawn rectangles (the grid cleared first).
    static void MarkGrid(const std::array<QRect, CMotionArea::kSlots>& rects, int step,
                         uint8_t* grid);

private:
    void Load();
    void ShowRecord();
    bool StoreDay();
    void CopyDay();
    void Save();
    void ChangeChannel(int channel);

    int channel_ = 0;
    bool area_set_up_ = false;
    std::vector<uint8_t> record_;  // empty: not cached

    QComboBox *channel_list_, *precision_, *sensitivity_, *day_list_, *day_copy_list_;
    QFrame* preview_;
    CMotionArea* area_;
    QCheckBox *show_area_, *setup_area_;
    std::array<QCheckBox*, 5> actions_{};  // show, audio, report, email, trigger output
    QTreeWidget *outputs_, *channels_;
    CScheduleEditor* schedule_;
};

}  // namespace configctrl
