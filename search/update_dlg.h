// CUpdateDlg: firmware upgrade of one device with a progress bar and status
// line. The upgrade starts on a worker thread; polling runs on the dialog's
// timers (500 ms for I8, 8000 ms for CamSearch); NetSDK progress comes from
// the library's thread as queued calls.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>
#include <thread>

#include "search/device_actions.h"

class QLabel;
class QLineEdit;
class QProgressBar;

namespace zynsearch {

class CUpdateDlg : public QDialog {
public:
    CUpdateDlg(std::shared_ptr<VendorSet> vendors, const _stNetDeviceAddr& record,
               QWidget* parent = nullptr);
    ~CUpdateDlg() override;

    void Browse();   // button 1014
    void Upgrade();  // button 1006
    void SetFile(const QString& path);
    UpgradeJob& job() { return *job_; }
    bool finished() const { return finished_; }

private:
    void Apply(const UpgradeStep& step);

    _stNetDeviceAddr record_;
    std::unique_ptr<UpgradeJob> job_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* path_;
    QProgressBar* progress_;
    QLabel* status_;
    QTimer poll_timer_;
    std::thread worker_;
    bool finished_ = false;
};

}  // namespace zynsearch
