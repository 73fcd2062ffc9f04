// Small factories for the controls of the pages: each control takes its
// dialog control id as object name ("ctl<id>") and its English text (a
// translation key) through the dictionary.
#pragma once

#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace configctrl {

QLabel* MakeLabel(QWidget* parent, const char* english);
QLineEdit* MakeEdit(QWidget* parent, int id);
QPushButton* MakeButton(QWidget* parent, int id, const char* english);
QCheckBox* MakeCheck(QWidget* parent, int id, const char* english);
// A drop-down list with `entries` (English, translated) and the first selected.
QComboBox* MakeCombo(QWidget* parent, int id, const QStringList& entries = {});

// The day modes of the schedule rows (English), and the index of "close".
const QStringList& DayModeTexts();
constexpr int kDayModeClose = 10;
// A day-mode list of a schedule row, on "close".
QComboBox* MakeDayModeCombo(QWidget* parent, int id);
// A two-digit hour or minute edit of a schedule row (0..99, not checked
// further here). `id` < 0: no control id.
QLineEdit* MakeTimeEdit(QWidget* parent, int id);

}  // namespace configctrl
