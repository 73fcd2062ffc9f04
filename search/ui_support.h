// What the dialogs share: the message language, the "tips" message box and
// the desktop hooks (URL handler, programs), each replaceable by tests.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <string>

#include "search/language.h"

namespace zynsearch {

Language& AppLanguage();
QString Tr(const std::string& english);  // through the message language

struct UiHooks {
    // Message box: caption, text, icon. Default: a modal QMessageBox.
    std::function<void(const QString&, const QString&, QMessageBox::Icon)> message;
    // Open a URL with the desktop's handler. Default: QDesktopServices.
    std::function<bool(const QUrl&)> open_url;
    // Start a program with arguments (never through a shell) and show its
    // output in a small window. Default: a QProcess in a text window.
    std::function<void(const QString& title, const QString& program, const QStringList& args)>
        run_program;
};
UiHooks& Hooks();

// Shows `english` (translated) in the message box with the caption "tips".
void ShowTips(const std::string& english, QMessageBox::Icon icon = QMessageBox::Information);

}  // namespace zynsearch
