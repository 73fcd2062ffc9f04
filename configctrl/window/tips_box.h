// CRHYesNoToAllDialog: the control's message box. Every page reports
// through it under the caption "tips"; the text goes through the
// dictionary. A report (OK) never blocks: the box opens and deletes itself
// when closed; a question (Yes/No) waits for the answer. Tests (and hosts
// without a desktop) install a hook that answers instead of the box.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace configctrl {

class CRHYesNoToAllDialog {
public:
    enum class Buttons { kOk, kYesNo };
    // Receives the translated text and the buttons; returns true for OK/Yes.
    using Hook = std::function<bool(const QString& text, Buttons buttons)>;

    // Shows `english` (translated) with an OK button.
    static void Tell(QWidget* parent, const char* english);
    // Shows an already translated text (e.g. with a number appended).
    static void TellText(QWidget* parent, const QString& text);
    // Asks a Yes/No question; true for Yes.
    static bool Ask(QWidget* parent, const char* english);

    // Replaces the modal box (null restores it). GUI thread only.
    static void SetHook(Hook hook);

private:
    static bool Show(QWidget* parent, const QString& text, Buttons buttons);
};

// Shorthands for reports: `english` is translated here; the hook receives
// the translated text.
void ShowTips(QWidget* parent, const QString& english);
using TipsHook = std::function<void(const QString& text)>;
void SetTipsHook(TipsHook hook);  // empty: the box again

}  // namespace configctrl
