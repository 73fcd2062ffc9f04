#include "configctrl/window/pages/storage_device_dlg.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/pages/record_bytes.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {
struct TextField {
    int id;
    const char* label;
    int offset;
    int bytes;
};
constexpr TextField kTexts[] = {{694, "Remote address:", 4, 128},
                                {695, "Remote path:", 132, 128},
                                {696, "User name:", 260, 56},
                                {697, "PassWord:", 316, 56}};

QString TextAt(const QByteArray& r, int offset, int bytes) {
    if (offset + bytes > r.size()) return {};
    const char* p = r.constData() + offset;
    return QString::fromLocal8Bit(p, int(strnlen(p, size_t(bytes))));
}

QButtonGroup* RadioPair(QWidget* parent, QHBoxLayout* row, int id0, const char* text0, int id1,
                        const char* text1) {
    auto* group = new QButtonGroup(parent);
    const int ids[] = {id0, id1};
    const char* texts[] = {text0, text1};
    for (int i = 0; i < 2; ++i) {
        auto* r = new QRadioButton(Tr(texts[i]), parent);
        r->setObjectName(QString("ctl%1").arg(ids[i]));
        group->addButton(r, i);
        row->addWidget(r);
    }
    row->addStretch();
    return group;
}
}  // namespace

CStorageDeviceDlg::CStorageDeviceDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    auto* form = new QFormLayout;
    auto* device_row = new QHBoxLayout;
    device_ = RadioPair(this, device_row, 692, "TF Card", 693, "NAS network hard disk");
    form->addRow(device_row);
    auto* remote_row = new QHBoxLayout;
    remote_ = RadioPair(this, remote_row, 285, "Close", 288, "Open");
    form->addRow(Tr("Remote recording switch:"), remote_row);
    QLineEdit** edits[] = {&address_, &path_, &user_, &password_};
    for (int i = 0; i < 4; ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString("ctl%1").arg(kTexts[i].id));
        edit->setMaxLength(kTexts[i].bytes - 1);
        *edits[i] = edit;
        form->addRow(Tr(kTexts[i].label), edit);
    }
    password_->setEchoMode(QLineEdit::Password);

    media_list_ = new QTreeWidget(this);
    media_list_->setObjectName("ctl257");
    media_list_->setRootIsDecorated(false);
    const struct {
        const char* text;
        int width;
    } kColumns[] = {
        {"devices Nom", 95}, {"device type", 80}, {"Total capacity", 55}, {"remaining space", 80}};
    QStringList headers;
    for (const auto& c : kColumns) headers << Tr(c.text);
    media_list_->setHeaderLabels(headers);
    for (int i = 0; i < 4; ++i) media_list_->setColumnWidth(i, kColumns[i].width);

    auto* ok = new QPushButton(Tr("OK"), this);
    ok->setObjectName("ctl698");
    auto* format = new QPushButton(Tr("Format disk"), this);
    format->setObjectName("ctl700");
    auto* refresh = new QPushButton(Tr("Refresh"), this);
    refresh->setObjectName("ctl699");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(refresh);
    buttons->addWidget(format);
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(media_list_, 1);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &CStorageDeviceDlg::OnSave);
    connect(format, &QPushButton::clicked, this, &CStorageDeviceDlg::OnFormat);
    connect(refresh, &QPushButton::clicked, this, &CStorageDeviceDlg::Refresh);
}

CLangChiDevice* CStorageDeviceDlg::LangChi() const {
    return owner() ? dynamic_cast<CLangChiDevice*>(owner()->device()) : nullptr;
}

void CStorageDeviceDlg::OnPageActivated(quint32, quint32) {
    if (media_.isEmpty()) Load();
}

void CStorageDeviceDlg::Refresh() {
    media_.clear();
    media_list_->clear();
    Load();
}

void CStorageDeviceDlg::Load() {
    CLangChiDevice* dev = LangChi();
    if (!dev) return;
    target_ = QByteArray(kTargetBytes, '\0');
    if (dev->LangChiConfig(0, kTargetRead, 0, reinterpret_cast<intptr_t>(target_.data()),
                           kTargetBytes, 0)) {
        if (QAbstractButton* b = device_->button(RecordU8(target_, 0) ? 1 : 0)) b->setChecked(true);
        if (QAbstractButton* b = remote_->button(RecordU8(target_, 2) ? 1 : 0)) b->setChecked(true);
        QLineEdit* edits[] = {address_, path_, user_, password_};
        for (int i = 0; i < 4; ++i)
            edits[i]->setText(TextAt(target_, kTexts[i].offset, kTexts[i].bytes));
    } else {
        target_.clear();
    }
    QByteArray media(kMediaBytes, '\0');
    media_list_->clear();
    if (!dev->LangChiConfig(0, kMediaRead, 0, reinterpret_cast<intptr_t>(media.data()), kMediaBytes,
                            0))
        return;
    media_ = media;
    static const char* const kTypes[] = {"Unknown hard disk type", "IDE disk", "USB disk",
                                         "SD Card"};
    const int count = std::min<int>(int(RecordU32(media_, 0)), kMaxMedia);
    for (int i = 0; i < count; ++i) {
        const uint32_t type = RecordU32(media_, 4 + 4 * i);
        auto* item = new QTreeWidgetItem(
            media_list_, {QString::number(i), Tr(kTypes[type < 4 ? type : 0]),
                          QString("%1G").arg(RecordU32(media_, 68 + 4 * i) / 1024),
                          QString("%1G").arg(RecordU32(media_, 100 + 4 * i) / 1024)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
}

void CStorageDeviceDlg::OnSave() {
    CLangChiDevice* dev = LangChi();
    if (!dev) return;
    if (target_.size() != kTargetBytes) target_ = QByteArray(kTargetBytes, '\0');
    auto put16 = [this](int offset, int v) {
        target_[offset] = char(v);
        target_[offset + 1] = 0;
    };
    put16(0, std::max(device_->checkedId(), 0));
    put16(2, std::max(remote_->checkedId(), 0));
    const QLineEdit* edits[] = {address_, path_, user_, password_};
    for (int i = 0; i < 4; ++i) {
        const QByteArray text = edits[i]->text().toLocal8Bit();
        std::memset(target_.data() + kTexts[i].offset, 0, size_t(kTexts[i].bytes));
        std::memcpy(target_.data() + kTexts[i].offset, text.constData(),
                    size_t(std::min<int>(text.size(), kTexts[i].bytes - 1)));
    }
    const bool ok = dev->LangChiConfig(0, kTargetWrite, 0,
                                       reinterpret_cast<intptr_t>(target_.data()), kTargetBytes, 0);
    ShowTips(this, ok ? "Set success" : "Set failed");
}

void CStorageDeviceDlg::OnFormat() {
    CLangChiDevice* dev = LangChi();
    if (!dev) return;
    for (int i = 0; i < media_list_->topLevelItemCount(); ++i)
        if (media_list_->topLevelItem(i)->checkState(0) == Qt::Checked)
            dev->LangChiConfig(0, kFormatMedium, i, 0, 0, 0);
    Refresh();
}

}  // namespace configctrl
