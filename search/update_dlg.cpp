#include "search/update_dlg.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "search/ui_support.h"

namespace zynsearch {

CUpdateDlg::CUpdateDlg(std::shared_ptr<VendorSet> vendors, const _stNetDeviceAddr& record,
                       QWidget* parent)
    : QDialog(parent), record_(record), job_(std::make_unique<UpgradeJob>(vendors, record)) {
    setObjectName("CUpdateDlg");
    setWindowTitle(Tr("升级"));
    user_ = new QLineEdit(kDefaultUser, this);
    user_->setObjectName("ctl1016");
    password_ = new QLineEdit(this);
    password_->setObjectName("ctl1017");
    password_->setEchoMode(QLineEdit::Password);
    path_ = new QLineEdit(this);
    path_->setObjectName("ctl1015");
    path_->setReadOnly(true);
    path_->setMinimumWidth(260);
    auto* browse = new QPushButton(Tr("Browse"), this);
    browse->setObjectName("ctl1014");
    auto* upgrade = new QPushButton(Tr("upgrade"), this);
    upgrade->setObjectName("ctl1006");
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ctl1013");
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setVisible(false);
    status_ = new QLabel(this);
    status_->setObjectName("ctl1007");
    auto* note = new QLabel(Tr("The upgrade process do not close this dialog box"), this);

    auto* file_row = new QHBoxLayout;
    file_row->addWidget(path_, 1);
    file_row->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(Tr("User name"), user_);
    form->addRow(Tr("Password"), password_);
    form->addRow(Tr("File"), file_row);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(note, 1);
    buttons->addWidget(upgrade);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    resize(460, 200);

    connect(browse, &QPushButton::clicked, this, &CUpdateDlg::Browse);
    connect(upgrade, &QPushButton::clicked, this, &CUpdateDlg::Upgrade);
    connect(&poll_timer_, &QTimer::timeout, this, [this] { Apply(job_->Poll()); });
    QPointer<CUpdateDlg> self(this);
    job_->SetProgressListener([self](const UpgradeStep& step) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, step] {
                if (self) self->Apply(step);
            },
            Qt::QueuedConnection);
    });
}

CUpdateDlg::~CUpdateDlg() {
    poll_timer_.stop();
    if (worker_.joinable()) worker_.join();
    job_.reset();  // ends the library's reports before the dialog goes
}

void CUpdateDlg::SetFile(const QString& path) {
    path_->setText(path);
}

void CUpdateDlg::Browse() {
    QString filter = QString("%1 (*.%2);;%3 (*.%4);;%5 (*.*)")
                         .arg(Tr("upgrade file"), "bin", Tr("upgrade file"), "ie", Tr("All Files"));
    QString path = QFileDialog::getOpenFileName(this, Tr("Browse"), QString(), filter);
    if (!path.isEmpty()) SetFile(path);
}

void CUpdateDlg::Upgrade() {
    if (path_->text().isEmpty()) {
        ShowTips("please select upgrade file", QMessageBox::Warning);
        return;
    }
    if (worker_.joinable()) return;  // one upgrade per dialog
    std::string path = path_->text().toStdString(), user = user_->text().toStdString(),
                password = password_->text().toStdString();
    QPointer<CUpdateDlg> self(this);
    UpgradeJob* job = job_.get();
    worker_ = std::thread([self, job, path, user, password] {
        UpgradeStep step = job->Start(path, user, password);
        QMetaObject::invokeMethod(
            self.data(),
            [self, step] {
                if (self) self->Apply(step);
            },
            Qt::QueuedConnection);
    });
}

void CUpdateDlg::Apply(const UpgradeStep& step) {
    if (finished_) return;
    if (step.show_bar) progress_->setVisible(true);
    if (step.progress >= 0) progress_->setValue(step.progress);
    if (!step.status.empty()) status_->setText(Tr(step.status));
    if (step.finished) {
        finished_ = true;
        poll_timer_.stop();
    } else if (step.poll_ms > 0 && !poll_timer_.isActive()) {
        poll_timer_.start(step.poll_ms);
    }
    ShowTips(step.message);
}

}  // namespace zynsearch
