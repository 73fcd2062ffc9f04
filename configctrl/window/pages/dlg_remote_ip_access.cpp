#include "configctrl/window/pages/dlg_remote_ip_access.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstring>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/device/ants_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/pages/record_bytes.h"
#include "configctrl/window/tips_box.h"

namespace configctrl {

namespace {
// Channel entry fields.
constexpr int kAddress = 0, kAddressBytes = 16, kPort = 16, kZeros = 20, kZeroBytes = 20,
              kText1 = 40, kText2 = 72, kTextBytes = 32, kMainStream = 88, kSubStream = 216,
              kStreamBytes = 128;
// Search entry fields.
constexpr int kFoundProtocol = 4, kFoundPort = 8, kFoundName = 264, kFoundNameBytes = 64,
              kFoundText1 = 328, kFoundText2 = 368, kFoundAddress = 420;
constexpr int kProtoListBytes = 4 + 36 * 64;

int EntryOffset(int channel) {
    return 4 + CDlgRemoteIPAccess::kEntryBytes * channel;
}
int FoundOffset(int index) {
    return CDlgRemoteIPAccess::kSearchEntryBytes * index;
}

// A NUL-terminated text of at most `bytes` bytes at `offset`.
QString TextAt(const QByteArray& r, int offset, int bytes) {
    if (offset < 0 || offset + bytes > r.size()) return {};
    const char* p = r.constData() + offset;
    return QString::fromLatin1(p, int(strnlen(p, size_t(bytes))));
}
// Copies `text` into a field of `bytes` bytes, cut to leave a terminator.
void PutTextAt(QByteArray& r, int offset, int bytes, const QByteArray& text) {
    if (offset < 0 || offset + bytes > r.size()) return;
    std::memset(r.data() + offset, 0, size_t(bytes));
    std::memcpy(r.data() + offset, text.constData(), size_t(std::min<int>(text.size(), bytes - 1)));
}

QTreeWidget* MakeList(QWidget* parent, int id, const QList<QPair<const char*, int>>& columns) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString("ctl%1").arg(id));
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setStyleSheet(
        "QTreeView::item { border-right: 1px solid #c0c0c0; "
        "border-bottom: 1px solid #c0c0c0; }");
    QStringList headers;
    for (const auto& c : columns) headers << Tr(c.first);
    list->setHeaderLabels(headers);
    for (int i = 0; i < columns.size(); ++i) list->setColumnWidth(i, columns[i].second);
    return list;
}
}  // namespace

CDlgRemoteIPAccess::CDlgRemoteIPAccess(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    channels_ = MakeList(this, 712, {{"Serial No.", 60}, {"IP Address", 120}});
    search_ = MakeList(this, 715,
                       {{"Serial No.", 60},
                        {"IP Address", 110},
                        {"port", 80},
                        {"Protocol", 80},
                        {"device name", 80}});
    search_button_ = new QPushButton(Tr("Search"), this);
    search_button_->setObjectName("ctl716");
    auto* save = new QPushButton(Tr("save"), this);
    save->setObjectName("ctl711");
    auto* remove = new QPushButton(Tr("Delete"), this);
    remove->setObjectName("ctl704");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(search_button_);
    buttons->addWidget(remove);
    buttons->addWidget(save);
    auto* lists = new QHBoxLayout;
    lists->addWidget(channels_, 2);
    lists->addWidget(search_, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);

    connect(search_button_, &QPushButton::clicked, this, &CDlgRemoteIPAccess::OnSearch);
    connect(save, &QPushButton::clicked, this, &CDlgRemoteIPAccess::OnSave);
    connect(remove, &QPushButton::clicked, this, &CDlgRemoteIPAccess::OnDelete);
    connect(search_, &QTreeWidget::itemChanged, this, &CDlgRemoteIPAccess::OnTicked);
}

CANTSDevice* CDlgRemoteIPAccess::Ants() const {
    return owner() ? dynamic_cast<CANTSDevice*>(owner()->device()) : nullptr;
}

void CDlgRemoteIPAccess::OnPageActivated(quint32, quint32) {
    if (loaded_) return;
    loaded_ = true;
    CANTSDevice* dev = Ants();
    if (!dev) return;
    QByteArray protos(kProtoListBytes, '\0');
    if (dev->GetIPCProtoList(protos.data(), kProtoListBytes)) {
        const int count = std::min<int>(int(RecordU32(protos, 0)), 64);
        for (int i = 0; i < count; ++i)
            protocols_[int(RecordU32(protos, 4 + 36 * i))] = TextAt(protos, 8 + 36 * i, 32);
    }
    record_ = QByteArray(kRecordBytes, '\0');
    int got = 0;
    const int channels = std::min(owner()->channel_count(), kMaxChannels);
    if (!dev->GetDVRConfig(kRead, 0, record_.data(), kRecordBytes, &got) || channels <= 0) {
        record_.clear();
        return;
    }
    for (int c = 0; c < channels; ++c)
        shown_ << TextAt(record_, EntryOffset(c) + kAddress, kAddressBytes);
    ShowChannels();
}

void CDlgRemoteIPAccess::ShowChannels() {
    const int current = channels_->currentIndex().row();
    channels_->clear();
    for (int c = 0; c < shown_.size(); ++c)
        new QTreeWidgetItem(channels_, {QString("%1").arg(c + 1, 2, 10, QChar('0')), shown_[c]});
    if (current >= 0 && current < shown_.size())
        channels_->setCurrentItem(channels_->topLevelItem(current));
}

int CDlgRemoteIPAccess::SearchEntryOf(const QString& address) const {
    if (address.isEmpty()) return -1;
    for (int i = 0; i < found_.size() / kSearchEntryBytes; ++i)
        if (TextAt(found_, FoundOffset(i) + kFoundAddress, kAddressBytes) == address) return i;
    return -1;
}

void CDlgRemoteIPAccess::OnSearch() {
    CANTSDevice* dev = Ants();
    search_button_->setText(Tr("Searching..."));
    search_button_->setEnabled(false);
    const QSignalBlocker block(search_);
    search_->clear();
    found_ = QByteArray(kSearchEntries * kSearchEntryBytes, '\0');
    int count = 0;
    if (dev && dev->SearchDeviceOnLAN(found_.data(), kSearchEntries, &count)) {
        int row = 0;
        for (int i = 0; i < kSearchEntries; ++i) {
            const int at = FoundOffset(i);
            const QString address = TextAt(found_, at + kFoundAddress, kAddressBytes);
            if (address.isEmpty()) continue;
            const int code = int(RecordU32(found_, at + kFoundProtocol));
            auto* item =
                new QTreeWidgetItem(search_, {QString("%1").arg(++row, 2, 10, QChar('0')), address,
                                              QString::number(RecordU32(found_, at + kFoundPort)),
                                              protocols_.value(code, QString::number(code)),
                                              TextAt(found_, at + kFoundName, kFoundNameBytes)});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, shown_.contains(address) ? Qt::Checked : Qt::Unchecked);
        }
    } else {
        found_.clear();
        new QTreeWidgetItem(search_, {QString(), Tr("Search  fail")});
    }
    search_button_->setText(Tr("Search"));
    search_button_->setEnabled(true);
}

void CDlgRemoteIPAccess::OnTicked(QTreeWidgetItem* item, int column) {
    if (column != 0 || shown_.isEmpty()) return;
    const QString address = item->text(1);
    if (item->checkState(0) == Qt::Checked) {
        if (shown_.contains(address)) return;
        int channel = channels_->currentIndex().row();
        if (channel < 0) channel = int(shown_.indexOf(QString()));
        if (channel < 0) {
            const QSignalBlocker block(search_);
            item->setCheckState(0, Qt::Unchecked);  // no channel to take it
            return;
        }
        // The camera the channel showed before is no longer assigned.
        const QString before = shown_[channel];
        shown_[channel] = address;
        const QSignalBlocker block(search_);
        for (int i = 0; i < search_->topLevelItemCount(); ++i)
            if (search_->topLevelItem(i)->text(1) == before && !before.isEmpty())
                search_->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    } else {
        for (QString& shown : shown_)
            if (shown == address) shown.clear();
    }
    ShowChannels();
}

void CDlgRemoteIPAccess::OnDelete() {
    const int channel = channels_->currentIndex().row();
    if (channel < 0 || channel >= shown_.size()) return;
    const QString address = shown_[channel];
    shown_[channel].clear();
    const QSignalBlocker block(search_);
    for (int i = 0; i < search_->topLevelItemCount(); ++i)
        if (search_->topLevelItem(i)->text(1) == address)
            search_->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    ShowChannels();
}

void CDlgRemoteIPAccess::OnSave() {
    CANTSDevice* dev = Ants();
    if (!dev || record_.isEmpty()) {  // nothing read: nothing to write back
        ShowTips(this, "Set failed");
        return;
    }
    for (int c = 0; c < shown_.size(); ++c) {
        const int at = EntryOffset(c);
        const QString read = TextAt(record_, at + kAddress, kAddressBytes);
        const int found = SearchEntryOf(shown_[c]);
        if (found >= 0) {
            const int from = FoundOffset(found);
            const QByteArray address = shown_[c].toLatin1();
            PutTextAt(record_, at + kAddress, kAddressBytes, address);
            SetRecordU32(record_, at + kPort, RecordU32(found_, from + kFoundPort));
            std::memset(record_.data() + at + kZeros, 0, kZeroBytes);
            PutTextAt(record_, at + kText1, kTextBytes,
                      found_.mid(from + kFoundText1, kTextBytes - 1).split('\0').value(0));
            PutTextAt(record_, at + kText2, kTextBytes,
                      found_.mid(from + kFoundText2, kTextBytes - 1).split('\0').value(0));
            PutTextAt(record_, at + kMainStream, kStreamBytes, "rtsp://" + address + ":554/main");
            PutTextAt(record_, at + kSubStream, kStreamBytes, "rtsp://" + address + ":554/sub");
        } else if (shown_[c].isEmpty() && !read.isEmpty()) {
            std::memset(record_.data() + at, 0, kEntryBytes);  // cleared by the user
        }
    }
    const bool ok = dev->SetDVRConfig(kWrite, 0, record_.constData(), kRecordBytes);
    ShowTips(this, ok ? "Set success" : "Set failed");
}

}  // namespace configctrl
