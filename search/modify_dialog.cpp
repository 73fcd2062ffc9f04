#include "search/modify_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "search/ui_support.h"

namespace zynsearch {

namespace {

const QRegularExpression kIpv4(
    R"(^((25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)\.){3}(25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)$)");
const QRegularExpression kMac(R"(^([0-9A-Fa-f]{2}[:-]){5}[0-9A-Fa-f]{2}$)");

}  // namespace

QLineEdit* CModifyDialog::Edit(int id) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString("ctl%1").arg(id));
    e->setMinimumWidth(180);
    return e;
}

CModifyDialog::CModifyDialog(const _stNetDeviceAddr& record, QWidget* parent)
    : QDialog(parent), record_(record) {
    setObjectName("CModifyDialog");
    setWindowTitle(Tr("修改参数"));
    auto* ip = Edit(9026);
    auto* mask = Edit(9028);
    auto* gateway = Edit(9030);
    auto* control_port = Edit(9032);
    auto* data_port = Edit(9034);
    auto* web_port = Edit(9036);
    auto* mac = Edit(1008);
    for (QLineEdit* e : {ip, mask, gateway})
        e->setValidator(new QRegularExpressionValidator(kIpv4, e));
    for (QLineEdit* e : {control_port, data_port, web_port})
        e->setValidator(new QIntValidator(1, 65535, e));
    mac->setValidator(new QRegularExpressionValidator(kMac, mac));

    ip->setText(QString::fromStdString(Text(record_.ip)));
    mask->setText(QString::fromStdString(Text(record_.mask)));
    gateway->setText(QString::fromStdString(Text(record_.gateway)));
    control_port->setText(QString::number(record_.data_port));
    data_port->setText(QString::number(record_.data_port));
    web_port->setText(QString::number(record_.web_port));
    mac->setText(QString::fromStdString(Text(record_.mac)));

    auto* form = new QFormLayout;
    form->addRow(Tr("IP address"), ip);
    form->addRow(Tr("Subnet mask"), mask);
    form->addRow(Tr("Gateway"), gateway);
    form->addRow(Tr("Control port"), control_port);
    form->addRow(Tr("Data port"), data_port);
    form->addRow(Tr("Web port"), web_port);
    form->addRow(Tr("MAC address"), mac);

    auto* save = new QPushButton(Tr("Save"), this);
    save->setObjectName("ctl1");
    save->setDefault(true);
    auto* hidden = new QPushButton(this);
    hidden->setObjectName("ctl1018");
    hidden->hide();
    connect(save, &QPushButton::clicked, this, &CModifyDialog::Save);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void CModifyDialog::Save() {
    auto text = [this](int id) { return findChild<QLineEdit*>(QString("ctl%1").arg(id))->text(); };
    CopyText(record_.ip, text(9026).toStdString());
    CopyText(record_.mask, text(9028).toStdString());
    CopyText(record_.gateway, text(9030).toStdString());
    CopyText(record_.mac, text(1008).toStdString());
    record_.data_port = static_cast<uint16_t>(text(9032).toUInt());  // the control-port edit
    record_.web_port = static_cast<uint16_t>(text(9036).toUInt());
    accept();
}

}  // namespace zynsearch
