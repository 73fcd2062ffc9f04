#include "configctrl/window/pages/dlg_update.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <QElapsedTimer>
#include <QFileInfo>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/zyn_device.h"
#include "configctrl/window/tips_box.h"
#include "vendors/ants_net_sdk.h"
#include "vendors/net_client.h"
#include "zynvs/wire/crc32.h"
#include "zynvs/wire/layouts.h"

namespace configctrl {

namespace {
QPushButton* Button(QWidget* parent, const char* name, const char* text) {
    auto* b = new QPushButton(Tr(text), parent);
    b->setObjectName(name);
    b->setMinimumWidth(90);
    return b;
}

bool Readable(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly);
}
}  // namespace

// ---- CDlgUpdate ---------------------------------------------------------------

CDlgUpdate::CDlgUpdate(const QString& address, const QString& user, const QString& password,
                       int port, QWidget* parent)
    : CDialogEx(kDialogId, parent, Qt::Dialog),
      address_(address),
      user_(user),
      password_(password),
      port_(port) {
    setObjectName("CDlgUpdate");
    setWindowTitle(Tr("update"));
    auto* outer = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    file_ = new QLineEdit(this);
    file_->setObjectName("file");
    file_->setMinimumWidth(280);
    QPushButton* browse = Button(this, "browse", "browse");
    row->addWidget(file_);
    row->addWidget(browse);
    outer->addLayout(row);
    status_ = new QLabel(this);
    status_->setObjectName("status");
    outer->addWidget(status_);
    ok_ = Button(this, "ok", "OK");
    outer->addWidget(ok_, 0, Qt::AlignRight);
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &CDlgUpdate::Poll);
    connect(browse, &QPushButton::clicked, this, &CDlgUpdate::OnBrowse);
    connect(ok_, &QPushButton::clicked, this, &CDlgUpdate::OnOK);
}

CDlgUpdate::~CDlgUpdate() {
    // The library still holds the event of an update that has not ended; it
    // stays allocated for the library to signal.
    if (done_ && !timer_->isActive()) delete done_;
}

void CDlgUpdate::SetFile(const QString& path) {
    file_->setText(path);
}

void CDlgUpdate::OnBrowse() {
    const QString path =
        QFileDialog::getOpenFileName(this, Tr("browse"), file_->text(), "*.itm (*.itm)");
    if (!path.isEmpty()) file_->setText(path);
}

QString CDlgUpdate::status() const {
    return status_->text();
}

bool CDlgUpdate::updating() const {
    return timer_->isActive();
}

void CDlgUpdate::OnOK() {
    if (timer_->isActive()) return;
    const QString path = file_->text();
    if (!Readable(path)) {
        CRHYesNoToAllDialog::Tell(this, "Failed to open file!");
        return;
    }
    auto lib = vendors::NetClientLib::Load();
    if (!done_) done_ = new NetClientEvent{};
    done_->signalled = 0;
    const int r = lib && lib->NetClient_Ord35
                      ? lib->NetClient_Ord35(address_.toLocal8Bit().constData(),
                                             user_.toLocal8Bit().constData(),
                                             password_.toLocal8Bit().constData(),
                                             path.toLocal8Bit().constData(), done_, port_, 0)
                      : -1;
    if (r == -1) {
        status_->setText(Tr("status:update fail"));
        return;
    }
    status_->setText(Tr("status:Is upgrading"));
    timer_->start();
}

void CDlgUpdate::Poll() {
    if (!__atomic_load_n(&done_->signalled, __ATOMIC_SEQ_CST)) return;
    timer_->stop();
    auto lib = vendors::NetClientLib::Load();
    const int result = lib && lib->NetClient_Ord36 ? lib->NetClient_Ord36() : -1;
    status_->setText(result == 0 ? Tr("status:update success")
                                 : Tr("status:update fail") + QString::number(result));
}

// ---- CDlgUpgrade --------------------------------------------------------------

CDlgUpgrade::CDlgUpgrade(int login_handle, QWidget* parent)
    : CDialogEx(kDialogId, parent, Qt::Dialog), login_handle_(login_handle) {
    setObjectName("CDlgUpgrade");
    setWindowTitle(Tr("update"));
    auto* outer = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    target_ = new QComboBox(this);
    target_->setObjectName("target");
    target_->addItems({Tr("DVR"), Tr("Adapter")});
    form->addRow(target_);
    auto* net_row = new QHBoxLayout;
    network_ = new QComboBox(this);
    network_->setObjectName("network");
    network_->addItems({Tr("LAN"), Tr("WAN")});
    setup_ = Button(this, "setupNetwork", "Setup Network");
    net_row->addWidget(network_);
    net_row->addWidget(setup_);
    net_row->addStretch(1);
    form->addRow(net_row);
    auto* file_row = new QHBoxLayout;
    file_ = new QLineEdit("c:\\digicap", this);
    file_->setObjectName("file");
    file_->setMinimumWidth(280);
    browse_ = Button(this, "browse", "Browse");
    file_row->addWidget(file_);
    file_row->addWidget(browse_);
    form->addRow(file_row);
    outer->addLayout(form);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("progress");
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->hide();
    outer->addWidget(bar_);
    status_ = new QLabel(this);
    status_->setObjectName("status");
    outer->addWidget(status_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    update_ = Button(this, "update", "Update");
    exit_ = Button(this, "exit", "Exit");
    buttons->addWidget(update_);
    buttons->addWidget(exit_);
    outer->addLayout(buttons);
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &CDlgUpgrade::Poll);
    connect(setup_, &QPushButton::clicked, this, &CDlgUpgrade::OnSetupNetwork);
    connect(browse_, &QPushButton::clicked, this, &CDlgUpgrade::OnBrowse);
    connect(update_, &QPushButton::clicked, this, &CDlgUpgrade::OnUpdate);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
}

CDlgUpgrade::~CDlgUpgrade() {
    if (upgrade_handle_ >= 0) Finish();
}

void CDlgUpgrade::SetFile(const QString& path) {
    file_->setText(path);
}
void CDlgUpgrade::SetTarget(int index) {
    target_->setCurrentIndex(index);
}
QString CDlgUpgrade::status() const {
    return status_->text();
}
int CDlgUpgrade::progress() const {
    return bar_->value();
}
bool CDlgUpgrade::upgrading() const {
    return timer_->isActive();
}

void CDlgUpgrade::OnSetupNetwork() {
    auto sdk = vendors::AntsNetSdk::Load();
    if (sdk && sdk->ANTS_NET_DVR_SetNetworkEnvironment)
        sdk->ANTS_NET_DVR_SetNetworkEnvironment(network_->currentIndex());
    CRHYesNoToAllDialog::Tell(this, "Set up the network environment!");
}

void CDlgUpgrade::OnBrowse() {
    const QString path = QFileDialog::getOpenFileName(this, Tr("Browse"), "digicap", "* (*)");
    if (!path.isEmpty()) file_->setText(path);
}

void CDlgUpgrade::OnUpdate() {
    if (upgrade_handle_ >= 0) return;
    const QString path = file_->text();
    if (path.isEmpty()) {
        CRHYesNoToAllDialog::Tell(this, "Upgrade file is empty");
        return;
    }
    if (!Readable(path)) {
        CRHYesNoToAllDialog::Tell(this, "Open file failed or no this file");
        return;
    }
    auto sdk = vendors::AntsNetSdk::Load();
    auto start = !sdk                           ? nullptr
                 : target_->currentIndex() == 0 ? sdk->ANTS_NET_DVR_Upgrade
                                                : sdk->ANTS_NET_DVR_AdapterUpgrade;
    const int h = start ? start(login_handle_, path.toLocal8Bit().constData()) : -1;
    if (h < 0) {
        CRHYesNoToAllDialog::Tell(this, "Upgrade failed");
        return;
    }
    upgrade_handle_ = h;
    for (QPushButton* b : {setup_, browse_, update_, exit_}) b->setEnabled(false);
    bar_->setValue(0);
    bar_->show();
    status_->setText(Tr("Status: Server is upgrading, please wait......"));
    timer_->start();
}

void CDlgUpgrade::Poll() {
    auto sdk = vendors::AntsNetSdk::Load();
    if (!sdk || upgrade_handle_ < 0) return;
    const int state =
        sdk->ANTS_NET_DVR_GetUpgradeState ? sdk->ANTS_NET_DVR_GetUpgradeState(upgrade_handle_) : -1;
    const int progress = sdk->ANTS_NET_DVR_GetUpgradeProgress
                             ? sdk->ANTS_NET_DVR_GetUpgradeProgress(upgrade_handle_)
                             : -1;
    if (progress > 0) bar_->setValue(std::min(progress, 100));
    switch (state) {
        case 1:
            status_->setText(Tr("Status:upgrade successfully"));
            bar_->setValue(100);
            break;
        case 2:
            status_->setText(Tr("Status: Device is upgrading, please wait......"));
            return;
        case 3:
            status_->setText(Tr("Status:upgrade failed"));
            break;
        case 4:
            status_->setText(Tr("Status:Network disconnect, status unknown"));
            break;
        case 5:
            status_->setText(Tr("Status:Upgrade file language mismatch"));
            break;
        case -1:
            status_->setText(Tr("Upgrade failed"));
            break;
        default:
            break;
    }
    Finish();
}

void CDlgUpgrade::Finish() {
    timer_->stop();
    for (QPushButton* b : {setup_, browse_, update_, exit_}) b->setEnabled(true);
    auto sdk = vendors::AntsNetSdk::Load();
    if (sdk && sdk->ANTS_NET_DVR_CloseUpgradeHandle && upgrade_handle_ >= 0)
        sdk->ANTS_NET_DVR_CloseUpgradeHandle(upgrade_handle_);
    upgrade_handle_ = -1;
}

// ---- CDlgZynUpgrade -----------------------------------------------------------

CDlgZynUpgrade::CDlgZynUpgrade(CZynDevice* device, QWidget* parent)
    : CDialogEx(kDialogId, parent, Qt::Dialog), device_(device) {
    setObjectName("CDlgZynUpgrade");
    setWindowTitle(Tr("update"));
    auto* outer = new QVBoxLayout(this);
    auto* file_row = new QHBoxLayout;
    file_ = new QLineEdit(this);
    file_->setObjectName("file");
    file_->setMinimumWidth(280);
    browse_ = Button(this, "browse", "Browse");
    file_row->addWidget(file_);
    file_row->addWidget(browse_);
    outer->addLayout(file_row);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("progress");
    bar_->setRange(0, 100);
    bar_->setValue(0);
    outer->addWidget(bar_);
    status_ = new QLabel(this);
    status_->setObjectName("status");
    outer->addWidget(status_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    update_ = Button(this, "update", "Update");
    exit_ = Button(this, "exit", "Exit");
    buttons->addWidget(update_);
    buttons->addWidget(exit_);
    outer->addLayout(buttons);
    timer_ = new QTimer(this);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, &CDlgZynUpgrade::SendChunks);
    connect(browse_, &QPushButton::clicked, this, &CDlgZynUpgrade::OnBrowse);
    connect(update_, &QPushButton::clicked, this, &CDlgZynUpgrade::OnUpdate);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
}

void CDlgZynUpgrade::SetFile(const QString& path) {
    file_->setText(path);
}
QString CDlgZynUpgrade::status() const {
    return status_->text();
}
int CDlgZynUpgrade::progress() const {
    return bar_->value();
}
bool CDlgZynUpgrade::upgrading() const {
    return timer_->isActive();
}

void CDlgZynUpgrade::OnBrowse() {
    const QString path = QFileDialog::getOpenFileName(this, Tr("Browse"), file_->text(), "* (*)");
    if (!path.isEmpty()) file_->setText(path);
}

void CDlgZynUpgrade::OnUpdate() {
    if (timer_->isActive()) return;
    const QString path = file_->text();
    if (path.isEmpty()) {
        CRHYesNoToAllDialog::Tell(this, "Upgrade file is empty");
        return;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        CRHYesNoToAllDialog::Tell(this, "Open file failed or no this file");
        return;
    }
    image_ = f.readAll();
    if (image_.isEmpty()) {
        CRHYesNoToAllDialog::Tell(this, "Upgrade file is empty");
        return;
    }
    uint8_t request[zyn::wire::UpgradeRequest::kBytes] = {};
    const zyn::wire::MutableUpgradeRequest r(request);
    const auto* bytes = reinterpret_cast<const uint8_t*>(image_.constData());
    r.set_image_bytes(static_cast<uint32_t>(image_.size()));
    r.set_crc32(zyn::wire::Crc32(bytes, static_cast<size_t>(image_.size())));
    r.set_chunk_bytes(kChunkBytes);
    const QByteArray name = QFileInfo(path).fileName().toLocal8Bit();
    CopyTextField(reinterpret_cast<char*>(r.file_name()), r.kFileNameBytes, name.constData());
    bar_->setValue(0);
    if (!device_ || device_->UpdateRequest(0, request) == 0) {
        status_->setText(Tr("Upgrade failed"));
        return;
    }
    sent_ = 0;
    chunk_index_ = 0;
    for (QPushButton* b : {browse_, update_, exit_}) b->setEnabled(false);
    status_->setText(Tr("Status: Device is upgrading, please wait......"));
    timer_->start();
}

void CDlgZynUpgrade::SendChunks() {
    QElapsedTimer slice;
    slice.start();
    for (int i = 0; i < kChunksPerTurn && sent_ < image_.size() && slice.elapsed() < kSliceMs;
         ++i) {
        const auto n =
            static_cast<uint16_t>(std::min<qsizetype>(kChunkBytes, image_.size() - sent_));
        uint8_t header[zyn::wire::UpgradeChunk::kHeaderBytes] = {};
        const zyn::wire::MutableUpgradeChunk h(header);
        h.set_chunk_word(static_cast<uint16_t>(chunk_index_));
        h.set_chunk_length(n);
        if (device_->UpdateFile(0, header, image_.data() + sent_) == 0) {
            Finish("Status:upgrade failed");
            return;
        }
        sent_ += n;
        ++chunk_index_;
    }
    bar_->setValue(static_cast<int>(sent_ * 100 / image_.size()));
    if (sent_ == image_.size()) Finish("Status:upgrade successfully");
}

void CDlgZynUpgrade::Finish(const char* status) {
    timer_->stop();
    image_.clear();
    status_->setText(Tr(status));
    for (QPushButton* b : {browse_, update_, exit_}) b->setEnabled(true);
}

}  // namespace configctrl
