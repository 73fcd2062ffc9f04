#include "configctrl/window/tips_box.h"

#include <QMessageBox>

#include "configctrl/control/language_dictionary.h"

namespace configctrl {

namespace {
CRHYesNoToAllDialog::Hook& TheHook() {
    static CRHYesNoToAllDialog::Hook hook;
    return hook;
}
}  // namespace

void CRHYesNoToAllDialog::Show(QWidget* parent, const char* text) {
    const QString caption = Tr("tips"), body = Tr(text);
    if (TheHook()) {
        TheHook()(caption, body);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, caption, body, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CRHYesNoToAllDialog::SetHook(Hook hook) {
    TheHook() = std::move(hook);
}

}  // namespace configctrl
