// Scripted use of the configuration window without a user: set controls by
// object name, press buttons, print the controls' values. Message boxes are
// answered here (reports are printed, questions answered "yes") so nothing
// waits for a user. Buttons that open a modal dialog keep the script going
// inside the dialog; what is open at the end is closed.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class QWidget;

namespace configctrl {
class CFrontSetDialog;
}

namespace zynconfig {

struct PageScript {
    struct Step {
        bool click = false;  // false: "NAME=VALUE" to set; true: a button to press
        QString text;
    };
    std::vector<Step> steps;  // in the order given
    bool dump = false;        // print "name=value" of the page's named controls

    bool empty() const { return steps.empty() && !dump; }
};

// Runs `script` on the window's visible page (or the modal dialog on top);
// returns 0 when every step found its control and value, else 1 (the reasons
// are printed on stderr). Message boxes are printed on stdout as
// "tips: TEXT" and "ask: TEXT -> yes".
int RunPageScript(configctrl::CFrontSetDialog* window, const PageScript& script);

// Gives `widget` the value `value` as a user would; false with a reason
// when it cannot.
bool SetControl(QWidget* widget, const QString& value, QString* why);
// The value of a named control as --dump prints it; false for controls
// that hold no value (push buttons, layouts' helpers).
bool ControlValue(QWidget* widget, QStringList* lines);

}  // namespace zynconfig
