#include "configctrl/window/page_tree.h"

#include <QFile>
#include <QHeaderView>
#include <QMouseEvent>

#include "configctrl/window/dialog_ex.h"

namespace configctrl {

namespace {

enum Role : int {
    kPageRole = Qt::UserRole,
    kIconPathRole,
    kGroupRole,
    kColourRole,
};

// The image at `path` when a host put one there, else the built-in one of
// the same name.
QIcon LoadIcon(const QString& path) {
    if (QFile::exists(path)) return QIcon(path);
    return QIcon(":/configctrl/res/" + path.section('/', -1));
}

}  // namespace

ClrTreeCtrlEx::ClrTreeCtrlEx(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QString("ctl%1").arg(kControlId));
    setHeaderHidden(true);
    setColumnCount(1);
    setIconSize(QSize(16, 16));
    setIndentation(18);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFocusPolicy(Qt::NoFocus);
}

QTreeWidgetItem* ClrTreeCtrlEx::InsertItem(const QString& icon_path, const QString& text,
                                           int colour, bool group, CDialogEx* page,
                                           QTreeWidgetItem* parent) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setIcon(0, LoadIcon(icon_path));
    item->setData(0, kPageRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(page)));
    item->setData(0, kIconPathRole, icon_path);
    item->setData(0, kGroupRole, group);
    item->setData(0, kColourRole, colour);
    if (group) {
        QFont f = font();
        f.setBold(true);
        item->setFont(0, f);
    }
    if (colour >= 0) item->setForeground(0, QColor(QRgb(colour)));
    item->setExpanded(true);
    return item;
}

CDialogEx* ClrTreeCtrlEx::PageOf(const QTreeWidgetItem* item) {
    return item ? reinterpret_cast<CDialogEx*>(item->data(0, kPageRole).value<quintptr>())
                : nullptr;
}

QString ClrTreeCtrlEx::IconPathOf(const QTreeWidgetItem* item) {
    return item->data(0, kIconPathRole).toString();
}

bool ClrTreeCtrlEx::IsGroup(const QTreeWidgetItem* item) {
    return item->data(0, kGroupRole).toBool();
}

int ClrTreeCtrlEx::ColourOf(const QTreeWidgetItem* item) {
    return item->data(0, kColourRole).toInt();
}

void ClrTreeCtrlEx::SelectItem(QTreeWidgetItem* item) {
    selected_ = item;
    setCurrentItem(item);
}

QTreeWidgetItem* ClrTreeCtrlEx::FindItem(const QString& text) const {
    const auto found = findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void ClrTreeCtrlEx::ClickItem(QTreeWidgetItem* item) {
    if (!item) return;
    if (post_switch) post_switch(PageOf(selected_), PageOf(item));
    SelectItem(item);
    if (item->childCount() > 0) item->setExpanded(!item->isExpanded());
}

void ClrTreeCtrlEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    ClickItem(itemAt(event->position().toPoint()));
    event->accept();
}

// A double click is two clicks here (the second one arrives as this event).
void ClrTreeCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

}  // namespace configctrl
