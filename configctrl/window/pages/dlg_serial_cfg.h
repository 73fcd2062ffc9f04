// The page "PTZ protocol" (dialog 685): per channel of a LangChi device the
// serial line to the pan-tilt-zoom decoder (address, baud rate, data bits,
// stop bits, parity, flow control), and the upload of a PTZ protocol file.
// Talks to the NetClient library directly with the device's connection data.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

#include <memory>
#include <string>

#include "configctrl/window/dialog_ex.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vendors {
struct NetClientLib;
}

namespace configctrl {

class CDlgSerialCfg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 685;
    static constexpr int kRecordBytes = 16, kProtocolNameBytes = 40;

    explicit CDlgSerialCfg(CFrontSetDialog* owner);
    ~CDlgSerialCfg() override;
    void OnPageActivated(quint32 wparam, quint32 lparam) override;

private:
    void ShowChannel(int channel);
    void OnOk();
    void OnChoose();
    void OnUpload();
    QString ReadProtocolName(int channel);

    std::shared_ptr<const vendors::NetClientLib> lib_;
    std::string name_, address_, user_, password_;
    int port_ = 0;
    bool loaded_ = false;
    QVector<QByteArray> records_;  // one per channel
    QStringList protocols_;        // the protocol name of each channel

    QComboBox* channel_;
    QLineEdit* decoder_;
    QComboBox* baud_;
    QComboBox* data_bits_;
    QComboBox* stop_bits_;
    QComboBox* parity_;
    QComboBox* flow_;
    QLineEdit* protocol_;
    QLineEdit* path_;
    QPushButton* choose_;
    QPushButton* upload_;
};

}  // namespace configctrl
