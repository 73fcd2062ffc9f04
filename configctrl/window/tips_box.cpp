#include "configctrl/window/tips_box.h"

#include <QMessageBox>

#include "configctrl/control/language_dictionary.h"

namespace configctrl {

namespace {
TipsHook& Hook() {
    static TipsHook hook;
    return hook;
}
}  // namespace

void ShowTips(QWidget* parent, const QString& english_text) {
    if (Hook()) {
        Hook()(english_text);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::NoIcon, Tr("tips"), TranslateText(english_text),
                                QMessageBox::Ok, parent);
    box->setObjectName("tips");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void SetTipsHook(TipsHook hook) {
    Hook() = std::move(hook);
}

}  // namespace configctrl
