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
    if (buttons == Buttons::kOk) {
        auto* report = new QMessageBox(QMessageBox::Information, Tr("tips"), text, QMessageBox::Ok, parent);
        report->setObjectName("tipsBox");
        report->setAttribute(Qt::WA_DeleteOnClose);
        report->open();
        return true;
    }
    QMessageBox box(QMessageBox::Information, Tr("tips"), text,
                    QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setObjectName("tipsBox");
    const int answer = box.exec();
    return answer == QMessageBox::Ok || answer == QMessageBox::Yes;
}

void ShowTips(QWidget* parent, const QString& english) {
    CRHYesNoToAllDialog::TellText(parent, TranslateText(english));
}

void SetTipsHook(TipsHook hook) {
    if (!hook) {
        CRHYesNoToAllDialog::SetHook(nullptr);
        return;
    }
    CRHYesNoToAllDialog::SetHook([hook = std::move(hook)](const QString& text, CRHYesNoToAllDialog::Buttons) {
        hook(text);
        return true;
    });
}

}  // namespace configctrl
