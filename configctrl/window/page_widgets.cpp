#include "configctrl/window/page_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
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

}  // namespace configctrl
