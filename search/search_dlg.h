// CSearchDlg: the main window. The list of found devices, the Search button
// (a 6-second search), and the commands on the selected row.
//
// Threads: the window lives on the GUI thread. Rows come from the search
// thread as queued calls; device actions run on one worker thread and their
// results come back as queued calls.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "search/search_engine.h"

class QPushButton;
class QTreeWidget;

namespace zynsearch {

class CSearchDlg : public QDialog {
public:
    static constexpr int kSearchWindowMs = 6000;  // timer 2008

    explicit CSearchDlg(bool lan, QWidget* parent = nullptr);
    ~CSearchDlg() override;

    void Search();  // button 1000
    void SortByColumn(int column);
    void OpenIE();          // button 1005: checked rows, else the selected one
    void OpenIESelected();  // menu 32771
    void Ping();            // menu 32772
    void RepairNetwork();   // button 1002, menu 32773
    void Modify();          // menu 32776
    void Upgrade();         // menu 32778, button 1006
    void Reboot();          // menu 32777, button 1003
    void Restore();         // button 1004
    void About();           // F1: the libraries each maker uses

    QTreeWidget* list() const { return list_; }
    SearchEngine& engine() { return *engine_; }
    bool searching() const { return engine_->session().running(); }
    bool action_running() const { return action_busy_; }
    void set_search_window_ms(int ms) { search_window_ms_ = ms; }
    // The selected row's record, if any.
    bool Selected(_stNetDeviceAddr* out) const;

private:
    void AddRow(const _stNetDeviceAddr& record, int number);
    void EndSearch();
    void ShowContextMenu(const QPoint& pos);
    void RunAction(std::function<std::string()> action);
    void OpenUrlFor(const _stNetDeviceAddr& r);

    std::unique_ptr<SearchEngine> engine_;
    QTreeWidget* list_;
    QPushButton* search_button_;
    QTimer search_timer_;
    int search_window_ms_ = kSearchWindowMs;
    std::thread action_thread_;
    std::atomic<bool> action_busy_{false};
};

int RunWindow(int argc, char** argv);

}  // namespace zynsearch
