#include "configctrl/window/tips_box.h"

#include <QMessageBox>

#include "configctrl/control/language_dictionary.h"

namespace configctrl {

namespace {
CRHYesNoToAllDialog::Hook& TheHook() {
    static CRHYesNoToAllDialog::Hook hook;  // GUI thread only
    return hook;
}
}  // namespace

void CRHYesNoToAllDialog::SetHook(Hook hook) {
    TheHook() = std::move(hook);
}

void CRHYesNoToAllDialog::Tell(QWidget* parent, const char* english) {
    Show(parent, Tr(english), Buttons::kOk);
}

void CRHYesNoToAllDialog::TellText(QWidget* parent, const QString& text) {
    Show(parent, text, Buttons::kOk);
}

bool CRHYesNoToAllDialog::Ask(QWidget* parent, const char* english) {
    return Show(parent, Tr(english), Buttons::kYesNo);
}

bool CRHYesNoToAllDialog::Show(QWidget* parent, const QString& text, Buttons buttons) {
    if (TheHook()) return TheHook()(text, buttons);
    QMessageBox box(QMessageBox::Information, Tr("tips"), text,
                    buttons == Buttons::kOk ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setObjectName("tipsBox");
    const int answer = box.exec();
    return answer == QMessageBox::Ok || answer == QMessageBox::Yes;
}

}  // namespace configctrl
