// CRHYesNoToAllDialog: the system's message box, caption "tips", for the
// results pages report (e.g. "Set success"). It never blocks: the box opens
// window-modal and returns at once. A hook, when set, takes every message
// instead of a box (tests read the messages from it).
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace configctrl {

class CRHYesNoToAllDialog {
public:
    // Caption and text, both already translated.
    using Hook = std::function<void(const QString& caption, const QString& text)>;

    // Shows `text` (translated here) under the caption "tips".
    static void Show(QWidget* parent, const char* text);
    // Replaces the box; an empty hook restores it.
    static void SetHook(Hook hook);
};

}  // namespace configctrl
