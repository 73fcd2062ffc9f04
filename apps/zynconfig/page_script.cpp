#include "apps/zynconfig/page_script.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <functional>
#include <vector>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/tips_box.h"

namespace zynconfig {

using configctrl::CFrontSetDialog;

namespace {

bool ParseIndex(const QString& text, int* out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (ok) *out = v;
    return ok;
}

bool SetCombo(QComboBox* combo, const QString& value, QString* why) {
    int index = combo->findText(value, Qt::MatchExactly);
    if (index < 0) index = combo->findText(configctrl::TranslateText(value), Qt::MatchExactly);
    for (int i = 0; index < 0 && i < combo->count(); ++i)
        if (combo->itemText(i).trimmed() == value.trimmed()) index = i;
    if (index < 0 && !ParseIndex(value, &index)) index = -1;
    if (index < 0 || index >= combo->count()) {
        *why = "no entry \"" + value + "\" (" + QString::number(combo->count()) + " entries)";
        return false;
    }
    combo->setCurrentIndex(index);
    emit combo->activated(index);  // as a user's choice
    return true;
}

// A list or table: "ROW" makes row ROW (from 0) the current one as a click
// does; "ROW:0" / "ROW:1" clears or sets its check box.
bool ParseRow(const QString& value, int rows, int* row, int* check, QString* why) {
    const QStringList parts = value.split(':');
    *check = -1;
    if (parts.size() > 2 || !ParseIndex(parts[0], row) ||
        (parts.size() == 2 && (!ParseIndex(parts[1], check) || *check < 0 || *check > 1))) {
        *why = "a list takes ROW or ROW:0/1";
        return false;
    }
    if (*row < 0 || *row >= rows) {
        *why = "no row " + parts[0] + " (" + QString::number(rows) + " rows)";
        return false;
    }
    return true;
}

bool SetTree(QTreeWidget* tree, const QString& value, QString* why) {
    int row = 0, check = 0;
    if (!ParseRow(value, tree->topLevelItemCount(), &row, &check, why)) return false;
    QTreeWidgetItem* item = tree->topLevelItem(row);
    if (check >= 0) {
        item->setCheckState(0, check ? Qt::Checked : Qt::Unchecked);
        return true;
    }
    tree->setCurrentItem(item);
    emit tree->itemClicked(item, 0);
    return true;
}

bool SetList(QListWidget* list, const QString& value, QString* why) {
    int row = 0, check = 0;
    if (!ParseRow(value, list->count(), &row, &check, why)) return false;
    QListWidgetItem* item = list->item(row);
    if (check >= 0) {
        item->setCheckState(check ? Qt::Checked : Qt::Unchecked);
        return true;
    }
    list->setCurrentItem(item);
    emit list->itemClicked(item);
    return true;
}

QWidget* FindControl(CFrontSetDialog* window, const QString& name) {
    std::vector<QWidget*> places;
    if (QWidget* modal = QApplication::activeModalWidget()) places.push_back(modal);
    if (QWidget* page = window->visible_page()) places.push_back(page);
    places.push_back(window);
    for (QWidget* top : QApplication::topLevelWidgets()) places.push_back(top);
    for (QWidget* place : places) {
        if (place->objectName() == name) return place;
        if (auto* w = place->findChild<QWidget*>(name)) return w;
    }
    return nullptr;
}

}  // namespace

bool SetControl(QWidget* widget, const QString& value, QString* why) {
    if (!widget->isEnabled()) {
        *why = "the control is disabled";
        return false;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(value);
        emit edit->textEdited(value);
        emit edit->editingFinished();
        return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (!button->isCheckable() || (value != "0" && value != "1")) {
            *why = "a check box or radio button takes 0 or 1";
            return false;
        }
        if (button->isChecked() != (value == "1")) button->click();
        return true;
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return SetCombo(combo, value, why);
    if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
        int v = 0;
        if (!ParseIndex(value, &v) || v < spin->minimum() || v > spin->maximum()) {
            *why = QString("a number from %1 to %2").arg(spin->minimum()).arg(spin->maximum());
            return false;
        }
        spin->setValue(v);
        return true;
    }
    if (auto* when = qobject_cast<QDateTimeEdit*>(widget)) {
        const QDateTime t = QDateTime::fromString(value, when->displayFormat());
        if (!t.isValid()) {
            *why = "a time in the form " + when->displayFormat();
            return false;
        }
        when->setDateTime(t);
        return true;
    }
    if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
        int v = 0;
        if (!ParseIndex(value, &v)) {
            *why = "a number";
            return false;
        }
        slider->setValue(v);
        return true;
    }
    if (auto* tree = qobject_cast<QTreeWidget*>(widget)) return SetTree(tree, value, why);
    if (auto* list = qobject_cast<QListWidget*>(widget)) return SetList(list, value, why);
    *why = QString("a %1 holds no value").arg(widget->metaObject()->className());
    return false;
}

bool ControlValue(QWidget* widget, QStringList* lines) {
    const QString name = widget->objectName();
    QString value;
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        value = edit->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (!button->isCheckable()) return false;
        value = button->isChecked() ? "1" : "0";
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        value = combo->currentText();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) {
        value = spin->text();
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
        value = QString::number(slider->value());
    } else if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
        value = QString::number(bar->value());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        value = label->text();
    } else if (auto* tree = qobject_cast<QTreeWidget*>(widget)) {
        // One line per row: the columns separated by '|', a check box as
        // [x] or [ ] in front.
        lines->append(name + "=" + QString::number(tree->topLevelItemCount()) + " rows");
        for (int r = 0; r < tree->topLevelItemCount(); ++r) {
            QTreeWidgetItem* item = tree->topLevelItem(r);
            QStringList cells;
            for (int c = 0; c < tree->columnCount(); ++c) cells.append(item->text(c));
            QString row = cells.join('|');
            if (item->data(0, Qt::CheckStateRole).isValid())
                row.prepend(item->checkState(0) == Qt::Checked ? "[x] " : "[ ] ");
            lines->append(QString("%1[%2]=%3").arg(name).arg(r).arg(row));
        }
        return true;
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
        lines->append(name + "=" + QString::number(list->count()) + " rows");
        for (int r = 0; r < list->count(); ++r) {
            QListWidgetItem* item = list->item(r);
            QString row = item->text();
            if (item->data(Qt::CheckStateRole).isValid())
                row.prepend(item->checkState() == Qt::Checked ? "[x] " : "[ ] ");
            lines->append(QString("%1[%2]=%3").arg(name).arg(r).arg(row));
        }
        return true;
    } else {
        return false;
    }
    lines->append(name + "=" + value);
    return true;
}

namespace {

// The steps run one after another from the event loop, so that a button
// that opens a modal dialog runs the later steps inside the dialog's loop.
class Runner : public QObject {
public:
    Runner(CFrontSetDialog* window, const PageScript& script) : window_(window) {
        for (const PageScript::Step& step : script.steps) {
            const QString text = step.text;
            if (step.click)
                steps_.push_back([this, text] { return Click(text); });
            else
                steps_.push_back([this, text] { return Set(text); });
        }
        if (script.dump) steps_.push_back([this] { return Dump(); });
    }

    int Run() {
        configctrl::CRHYesNoToAllDialog::SetHook(
            [](const QString& text, configctrl::CRHYesNoToAllDialog::Buttons buttons) {
                if (buttons == configctrl::CRHYesNoToAllDialog::Buttons::kOk)
                    std::printf("tips: %s\n", text.toLocal8Bit().constData());
                else
                    std::printf("ask: %s -> yes\n", text.toLocal8Bit().constData());
                std::fflush(stdout);
                return true;
            });
        QTimer::singleShot(0, this, [this] { Next(); });
        loop_.exec();
        configctrl::CRHYesNoToAllDialog::SetHook(nullptr);
        return status_;
    }

private:
    void Next() {
        // Whatever the last step queued (page switches, device answers) is
        // handled before the next step looks at the page.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        if (next_ >= steps_.size()) {
            // Close what the script left open, innermost first; the loop
            // ends once the modal loops have returned.
            while (QWidget* modal = QApplication::activeModalWidget()) {
                if (!modal->close()) break;
            }
            loop_.exit(0);
            return;
        }
        const auto step = steps_[next_++];
        QTimer::singleShot(0, this, [this] { Next(); });  // also runs inside a modal loop
        if (!step()) {  // the later steps would act on a page not as meant
            status_ = 1;
            next_ = steps_.size();
        }
    }

    bool Set(const QString& assignment) {
        const qsizetype eq = assignment.indexOf('=');
        if (eq <= 0) return Fail("--set takes NAME=VALUE, not \"" + assignment + "\"");
        const QString name = assignment.left(eq);
        QWidget* w = FindControl(window_, name);
        if (!w) return Fail("no control named " + name + " (see --dump)");
        QString why;
        if (!SetControl(w, assignment.mid(eq + 1), &why)) return Fail(name + ": " + why);
        return true;
    }

    bool Click(const QString& name) {
        auto* button = qobject_cast<QAbstractButton*>(FindControl(window_, name));
        if (!button) return Fail("no button named " + name + " (see --dump)");
        if (!button->isEnabled()) return Fail(name + ": the button is disabled");
        button->click();
        return true;
    }

    bool Dump() {
        QWidget* top = QApplication::activeModalWidget();
        if (!top) top = window_->visible_page();
        if (!top) return Fail("no page is shown (see --page)");
        QStringList lines;
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
            ControlValue(w, &lines);
        }
        for (const QString& line : lines) std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
        return true;
    }

    bool Fail(const QString& why) {
        std::fprintf(stderr, "zynconfig: %s\n", why.toLocal8Bit().constData());
        return false;
    }

    CFrontSetDialog* window_;
    std::vector<std::function<bool()>> steps_;
    size_t next_ = 0;
    int status_ = 0;
    QEventLoop loop_;
};

}  // namespace

int RunPageScript(CFrontSetDialog* window, const PageScript& script) {
    Runner runner(window, script);
    return runner.Run();
}

}  // namespace zynconfig
