// ClrTreeCtrlEx: the tree of configuration topics. Each item has an icon
// (the path of a PNG), a text, a colour value (-1: the tree's own), an
// expanded flag, a group flag (1 for top-level items) and its page. A click
// asks the window to switch from the page of the selected item to the page
// of the clicked one (a queued call, like a posted message), then selects
// the clicked item; a click on an item with children also toggles it.
#pragma once

#include <QTreeWidget>

#include <functional>

namespace configctrl {

class CDialogEx;

class ClrTreeCtrlEx : public QTreeWidget {
    Q_OBJECT

public:
    static constexpr int kControlId = 205;

    explicit ClrTreeCtrlEx(QWidget* parent);

    // Inserts an item under `parent` (null: top level), expanded.
    QTreeWidgetItem* InsertItem(const QString& icon_path, const QString& text, int colour,
                                bool group, CDialogEx* page, QTreeWidgetItem* parent);

    static CDialogEx* PageOf(const QTreeWidgetItem* item);
    static QString IconPathOf(const QTreeWidgetItem* item);
    static bool IsGroup(const QTreeWidgetItem* item);
    static int ColourOf(const QTreeWidgetItem* item);

    QTreeWidgetItem* selected_item() const { return selected_; }
    void SelectItem(QTreeWidgetItem* item);  // without a switch
    QTreeWidgetItem* FindItem(const QString& text) const;

    // What a click on `item` does (mouse presses on items come here).
    void ClickItem(QTreeWidgetItem* item);

    // Receives (old page, new page) for every click; set by the window.
    std::function<void(CDialogEx*, CDialogEx*)> post_switch;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* selected_ = nullptr;
};

}  // namespace configctrl
