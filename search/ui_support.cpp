#include "search/ui_support.h"

#include <QDesktopServices>
#include <QDialog>
#include <QPlainTextEdit>
#include <QProcess>
#include <QVBoxLayout>

namespace zynsearch {

namespace {

// A window showing a program's output; closing it ends the program.
void RunInWindow(const QString& title, const QString& program, const QStringList& args) {
    auto* dlg = new QDialog;
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowTitle(title);
    dlg->resize(560, 320);
    auto* text = new QPlainTextEdit(dlg);
    text->setReadOnly(true);
    text->setObjectName("output");
    auto* layout = new QVBoxLayout(dlg);
    layout->addWidget(text);
    auto* proc = new QProcess(dlg);
    proc->setProcessChannelMode(QProcess::MergedChannels);
    text->appendPlainText("$ " + program + " " + args.join(' '));
    QObject::connect(proc, &QProcess::readyRead, text, [proc, text] {
        text->appendPlainText(QString::fromLocal8Bit(proc->readAll()).trimmed());
    });
    QObject::connect(proc, &QProcess::finished, text, [text](int code, QProcess::ExitStatus) {
        text->appendPlainText(QString("(exit code %1)").arg(code));
    });
    QObject::connect(proc, &QProcess::errorOccurred, text, [text, program](QProcess::ProcessError) {
        text->appendPlainText(program + ": could not be started");
    });
    QObject::connect(dlg, &QDialog::finished, proc, [proc] {
        if (proc->state() != QProcess::NotRunning) {
            proc->kill();
            proc->waitForFinished(1000);
        }
    });
    proc->start(program, args);
    dlg->show();
}

}  // namespace

Language& AppLanguage() {
    static Language language;
    return language;
}

QString Tr(const std::string& english) {
    return QString::fromStdString(AppLanguage().Lookup(english));
}

UiHooks& Hooks() {
    static UiHooks hooks{
        [](const QString& caption, const QString& text, QMessageBox::Icon icon) {
            QMessageBox box(icon, caption, text, QMessageBox::Ok);
            box.exec();
        },
        [](const QUrl& url) { return QDesktopServices::openUrl(url); },
        RunInWindow,
    };
    return hooks;
}

void ShowTips(const std::string& english, QMessageBox::Icon icon) {
    if (english.empty()) return;
    Hooks().message(Tr("tips"), Tr(english), icon);
}

}  // namespace zynsearch
