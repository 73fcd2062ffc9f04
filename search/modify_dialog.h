// CModifyDialog: the network parameters of one device. Save writes the
// entered values into its copy of the record and closes; the caller runs the
// maker's change with record().
#pragma once

#include <QDialog>

#include "search/net_device_addr.h"

class QLineEdit;

namespace zynsearch {

class CModifyDialog : public QDialog {
public:
    CModifyDialog(const _stNetDeviceAddr& record, QWidget* parent = nullptr);
    const _stNetDeviceAddr& record() const { return record_; }
    void Save();  // button 1

private:
    QLineEdit* Edit(int id);
    _stNetDeviceAddr record_;
};

}  // namespace zynsearch
