// The pages' message box: the caption "tips" and one line of text, both
// translated. It never blocks: the box is shown non-modal and deletes
// itself when closed. A test (or a host without a screen) may install a
// hook that receives the English text instead of a box being shown.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace configctrl {

using TipsHook = std::function<void(const QString& english_text)>;

// Shows "tips" with `english_text` (translated) over `parent`.
void ShowTips(QWidget* parent, const QString& english_text);
// Replaces the box by `hook` (an empty hook restores the box).
void SetTipsHook(TipsHook hook);

}  // namespace configctrl
