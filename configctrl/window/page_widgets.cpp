#include "configctrl/window/page_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>

#include "configctrl/control/language_dictionary.h"

namespace configctrl {

namespace {
QString IdName(int id) {
    return QString("ctl%1").arg(id);
}
}  // namespace

QLabel* MakeLabel(QWidget* parent, const char* english) {
    return new QLabel(Tr(english), parent);
}

QLineEdit* MakeEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(IdName(id));
    return edit;
}

QPushButton* MakeButton(QWidget* parent, int id, const char* english) {
    auto* button = new QPushButton(Tr(english), parent);
    button->setObjectName(IdName(id));
    button->setMinimumWidth(90);
    return button;
}

QCheckBox* MakeCheck(QWidget* parent, int id, const char* english) {
    auto* check = new QCheckBox(Tr(english), parent);
    check->setObjectName(IdName(id));
    return check;
}

QComboBox* MakeCombo(QWidget* parent, int id, const QStringList& entries) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(IdName(id));
    for (const QString& e : entries) combo->addItem(TranslateText(e));
    if (!entries.isEmpty()) combo->setCurrentIndex(0);
    return combo;
}

const QStringList& DayModeTexts() {
    static const QStringList texts = {"Mon", "Tue",        "Wed",        "Thu",      "Fri",  "Sat",
                                      "Sun", "Mon To Fri", "Sat To Sun", "Everyday", "close"};
    return texts;
}

QComboBox* MakeDayModeCombo(QWidget* parent, int id) {
    QComboBox* list = MakeCombo(parent, id, DayModeTexts());
    list->setCurrentIndex(kDayModeClose);
    return list;
}

QLineEdit* MakeTimeEdit(QWidget* parent, int id) {
    auto* edit = id >= 0 ? MakeEdit(parent, id) : new QLineEdit(parent);
    edit->setValidator(new QIntValidator(0, 99, edit));
    edit->setMaxLength(2);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance("000") + 12);
    return edit;
}

}  // namespace configctrl
