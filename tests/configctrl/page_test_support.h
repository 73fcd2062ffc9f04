// What the page tests share: where screenshots go, and setting a page's
// control by object name.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QTimeEdit>
#include <QtTest>

namespace page_test {

// A file in the artefact folder `folder` (made when missing).
inline QString ArtifactPath(const QString& name, const char* folder = "configctrl/pages") {
    QDir dir(QString(ZYNVS_ARTIFACT_DIR) + "/" + folder);
    dir.mkpath(".");
    return dir.filePath(name);
}

// Sets a control by object name: edits take text, boxes "1"/"0", lists and
// radio buttons "#index"/"1", the date and time pickers ISO text.
inline void SetControl(QWidget* page, const QString& name, const QString& value) {
    QWidget* w = page->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(value);
    else if (auto* c = qobject_cast<QComboBox*>(w))
        c->setCurrentIndex(value.mid(1).toInt());
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setChecked(value == "1");
    else if (auto* t = qobject_cast<QTimeEdit*>(w))
        t->setTime(QTime::fromString(value, Qt::ISODate));
    else if (auto* d = qobject_cast<QDateEdit*>(w))
        d->setDate(QDate::fromString(value, Qt::ISODate));
    else
        QFAIL(qPrintable("no setter for " + name));
}

}  // namespace page_test
