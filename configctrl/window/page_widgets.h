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

}  // namespace configctrl
