// zynconfig: hosts the configuration control in a window of its own, logs
// into one device with the control's six LoginDevice arguments and keeps the
// configuration window over the control (the host's MoveWindow calls).
//
//   zynconfig NAME ADDRESS PORT USER PASSWORD TYPE [--tree]
//             [--page TEXT] [--set NAME=VALUE]... [--click NAME]... [--dump]
//             [--screenshot FILE]
#include <QApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/zynconfig/page_script.h"
#include "configctrl/control/language_dictionary.h"
#include "configctrl/control/zyn_config_ctrl.h"
#include "configctrl/device/device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/page_tree.h"

using namespace configctrl;

namespace {

constexpr char kUsage[] =
    "usage: zynconfig NAME ADDRESS PORT USER PASSWORD TYPE [options]\n"
    "\n"
    "Opens the configuration window of one device. The six arguments are the\n"
    "control's LoginDevice arguments: display name, address, control port,\n"
    "user name, password and type (1 own protocol, 2 LangChi, 3 ANTS, 10 QV;\n"
    "any other type opens the window without a device).\n"
    "\n"
    "options:\n"
    "  --tree             print the page tree (text, depth, page class, one item a\n"
    "                     line, tab-separated) and exit\n"
    "  --page TEXT        open the page of the tree item TEXT (English text)\n"
    "  --set NAME=VALUE   give the control with object name NAME (e.g. ctl453) the\n"
    "                     value VALUE as a user would: the text of a line edit, 0\n"
    "                     or 1 for a check box or radio button, an entry's text or\n"
    "                     index for a drop-down list, a number for a spin box or\n"
    "                     slider, ROW (select) or ROW:0/1 (tick) for a list or\n"
    "                     table; repeatable\n"
    "  --click NAME       press the button NAME; repeatable; a dialog a button\n"
    "                     opens takes the later steps and is closed at the end\n"
    "                     (sets and clicks run after --page, in the order given)\n"
    "  --dump             after the sets and clicks, print the named controls of\n"
    "                     the page (or of the dialog on top), one \"name=value\" a\n"
    "                     line; a list or table prints its row count, then\n"
    "                     NAME[ROW]=COLUMN|COLUMN... ([x]/[ ] before a ticked or\n"
    "                     unticked row)\n"
    "  --screenshot FILE  save a picture of the configuration window (after\n"
    "                     --page and the steps above) as FILE (PNG) and exit\n"
    "  --help             this text\n"
    "\n"
    "With --set, --click or --dump the program exits when they are done; its\n"
    "message boxes are printed instead of shown (\"tips: TEXT\" for a report,\n"
    "\"ask: TEXT -> yes\" for a question, answered yes).\n"
    "Works with any Qt platform, -platform offscreen included. Vexora.ini and\n"
    "the language files are read from the program's folder.\n"
    "Exit status: 0 done, 1 failed (the reason is printed: no such page or\n"
    "control, a value the control cannot take, a disabled control), 2 wrong\n"
    "command line.\n";

struct Options {
    QByteArray name, address, user, password;
    int port = 0, type = 0;
    bool tree = false;
    QString page, screenshot;
    zynconfig::PageScript script;
};

bool ParseInt(const char* s, int* out) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < INT32_MIN || v > INT32_MAX) return false;
    *out = static_cast<int>(v);
    return true;
}

// 0 to go on, else the exit status.
int Parse(int argc, char** argv, Options* o) {
    std::vector<const char*> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zynconfig: %s needs %s\n", a.c_str(), what);
                return nullptr;
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (a == "--tree") {
            o->tree = true;
        } else if (a == "--page") {
            const char* v = value("a tree item's text");
            if (!v) return 2;
            o->page = QString::fromLocal8Bit(v);
        } else if (a == "--set") {
            const char* v = value("NAME=VALUE");
            if (!v) return 2;
            o->script.steps.push_back({false, QString::fromLocal8Bit(v)});
        } else if (a == "--click") {
            const char* v = value("a button's object name");
            if (!v) return 2;
            o->script.steps.push_back({true, QString::fromLocal8Bit(v)});
        } else if (a == "--dump") {
            o->script.dump = true;
        } else if (a == "--screenshot") {
            const char* v = value("a file name");
            if (!v) return 2;
            o->screenshot = QString::fromLocal8Bit(v);
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            std::fprintf(stderr, "zynconfig: unknown option %s (see --help)\n", a.c_str());
            return 2;
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (positional.size() != 6) {
        std::fprintf(stderr, "zynconfig: six arguments are needed, %zu given (see --help)\n",
                     positional.size());
        return 2;
    }
    o->name = positional[0];
    o->address = positional[1];
    o->user = positional[3];
    o->password = positional[4];
    if (!ParseInt(positional[2], &o->port) || !ParseInt(positional[5], &o->type)) {
        std::fprintf(stderr, "zynconfig: PORT and TYPE are numbers\n");
        return 2;
    }
    return 0;
}

void PrintTree(QTreeWidgetItem* item, int depth) {
    CDialogEx* page = ClrTreeCtrlEx::PageOf(item);
    std::printf("%s\t%d\t%s\n", item->text(0).toLocal8Bit().constData(), depth,
                page ? page->metaObject()->className() + std::strlen("configctrl::") : "-");
    for (int i = 0; i < item->childCount(); ++i) PrintTree(item->child(i), depth + 1);
}

// Runs events until `done` holds or `timeout_ms` passed.
template <typename Pred>
bool RunUntil(Pred done, int timeout_ms) {
    QDeadlineTimer deadline(timeout_ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done();
}

// Keeps the configuration window over the control, as a host of the
// control does with MoveWindow.
class FollowControl : public QObject {
public:
    explicit FollowControl(CZynConFigCtrlCtrl* ctrl) : ctrl_(ctrl) {}
    void Place() {
        const QPoint p = ctrl_->mapToGlobal(QPoint(0, 0));
        ctrl_->MoveWindow(short(p.x()), short(p.x() + ctrl_->width()), short(p.y()),
                          short(p.y() + ctrl_->height()));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize) Place();
        return QObject::eventFilter(watched, event);
    }

private:
    CZynConFigCtrlCtrl* ctrl_;
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    QApplication app(argc, argv);  // takes Qt's own options (-platform ...)
    Options o;
    if (const int status = Parse(argc, argv, &o)) return status < 0 ? 0 : status;

    QWidget host;
    host.setWindowTitle(QString("zynconfig - %1 (%2:%3)")
                            .arg(QString::fromLocal8Bit(o.name), QString::fromLocal8Bit(o.address))
                            .arg(o.port));
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* ctrl = new CZynConFigCtrlCtrl(&host);
    layout->addWidget(ctrl);
    host.resize(qRound(CFrontSetDialog::kWidthDlu * CFrontSetDialog::DluX()),
                qRound(CFrontSetDialog::kHeightDlu * CFrontSetDialog::DluY()));
    host.show();

    ctrl->LoginDevice(o.name, o.address, o.port, o.user, o.password, o.type);
    CFrontSetDialog* window = ctrl->window();
    std::fprintf(stderr, "zynconfig: type %d, %s, %d channels, %d alarm inputs, %d alarm outputs\n",
                 o.type,
                 !window->device()               ? "no device"
                 : window->device()->logged_in() ? "logged in"
                                                 : "login failed",
                 window->channel_count(), window->alarm_in_count(), window->alarm_out_count());
    FollowControl follow(ctrl);
    follow.Place();
    host.installEventFilter(&follow);
    QCoreApplication::processEvents();

    if (o.tree) {
        for (int i = 0; i < window->tree()->topLevelItemCount(); ++i)
            PrintTree(window->tree()->topLevelItem(i), 0);
        return 0;
    }
    if (!o.page.isEmpty()) {
        ClrTreeCtrlEx* tree = window->tree();
        QTreeWidgetItem* item = tree->FindItem(TranslateText(o.page));
        if (!item) item = tree->FindItem(o.page);
        CDialogEx* page = ClrTreeCtrlEx::PageOf(item);
        if (!page) {
            std::fprintf(stderr, "zynconfig: no item \"%s\" in the tree (see --tree)\n",
                         o.page.toLocal8Bit().constData());
            return 1;
        }
        window->PostSwitchPage(ClrTreeCtrlEx::PageOf(tree->selected_item()), page);
        tree->SelectItem(item);
        RunUntil([&] { return page->isVisible(); }, 2000);
    }
    int status = 0;
    if (!o.script.empty()) {
        RunUntil([&] { return window->visible_page() != nullptr; }, 2000);
        status = zynconfig::RunPageScript(window, o.script);
    }
    if (!o.screenshot.isEmpty()) {
        QCoreApplication::processEvents();
        if (!window->grab().save(o.screenshot)) {
            std::fprintf(stderr, "zynconfig: cannot write %s\n",
                         o.screenshot.toLocal8Bit().constData());
            return 1;
        }
        return status;
    }
    if (!o.script.empty()) return status;
    return app.exec();
}
