// The firmware dialogs of the "device manage" page.
//
// CDlgUpdate (LangChi): picks an .itm file and hands it to NetClient, which
// signals an event when the device has finished; the dialog polls the event
// once a second and then asks for the result.
//
// CDlgUpgrade (ANTS): picks a file, what to upgrade (recorder or adapter)
// and the network environment; polls the upgrade's state and progress every
// 500 ms until the state is no longer "upgrading".
//
// CDlgZynUpgrade (own protocol): picks a file and sends it through the SDK's
// upgrade request and chunks, a few chunks per turn of the event loop, with
// the progress in a bar; the status line tells the end.
#pragma once

#include <QByteArray>
#include <QString>

#include "configctrl/window/dialog_ex.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
struct NetClientEvent;

namespace configctrl {

class CZynDevice;

class CDlgUpdate : public CDialogEx {
    Q_OBJECT

public:
    static constexpr int kDialogId = 240;
    static constexpr int kPollMs = 1000;
    CDlgUpdate(const QString& address, const QString& user, const QString& password, int port,
               QWidget* parent);
    ~CDlgUpdate() override;
    void OnPageActivated(quint32, quint32) override {}

    void SetFile(const QString& path);
    void OnBrowse();
    void OnOK();
    QString status() const;
    bool updating() const;

private:
    void Poll();

    QString address_, user_, password_;
    int port_;
    QLineEdit* file_;
    QLabel* status_;
    QPushButton* ok_;
    QTimer* timer_;
    NetClientEvent* done_ = nullptr;  // written by the library's thread until signalled
};

class CDlgUpgrade : public CDialogEx {
    Q_OBJECT

public:
    static constexpr int kDialogId = 241;
    static constexpr int kPollMs = 500;
    CDlgUpgrade(int login_handle, QWidget* parent);
    ~CDlgUpgrade() override;
    void OnPageActivated(quint32, quint32) override {}

    void SetFile(const QString& path);
    void SetTarget(int index);  // 0 DVR, 1 Adapter
    void OnSetupNetwork();
    void OnBrowse();
    void OnUpdate();
    QString status() const;
    int progress() const;
    bool upgrading() const;

private:
    void Poll();
    void Finish();

    int login_handle_;
    int upgrade_handle_ = -1;
    QComboBox* target_;
    QComboBox* network_;
    QLineEdit* file_;
    QLabel* status_;
    QProgressBar* bar_;
    QPushButton *setup_, *browse_, *update_, *exit_;
    QTimer* timer_;
};

class CDlgZynUpgrade : public CDialogEx {
    Q_OBJECT

public:
    static constexpr int kDialogId = 242;
    static constexpr int kChunkBytes = 1020;  // the most one chunk may carry
    // Per turn of the event loop: at most this many chunks, for at most this long.
    static constexpr int kChunksPerTurn = 16;
    static constexpr int kSliceMs = 30;
    CDlgZynUpgrade(CZynDevice* device, QWidget* parent);
    void OnPageActivated(quint32, quint32) override {}

    void SetFile(const QString& path);
    void OnBrowse();
    void OnUpdate();
    QString status() const;
    int progress() const;
    bool upgrading() const;

private:
    void SendChunks();
    void Finish(const char* status);

    CZynDevice* device_;  // owned by the configuration window, which outlives the dialog
    QByteArray image_;
    qsizetype sent_ = 0;
    int chunk_index_ = 0;
    QLineEdit* file_;
    QLabel* status_;
    QProgressBar* bar_;
    QPushButton *browse_, *update_, *exit_;
    QTimer* timer_;
};

}  // namespace configctrl
