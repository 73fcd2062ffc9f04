#include "search/search_dlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>

#include "search/modify_dialog.h"
#include "search/ui_support.h"
#include "search/update_dlg.h"

Q_DECLARE_METATYPE(_stNetDeviceAddr)

namespace zynsearch {

namespace {

constexpr int kRecordRole = Qt::UserRole + 1;

struct Column {
    const char* title;
    int width;
};
constexpr Column kColumns[] = {{"NO.", 40},       {"MAC address", 115}, {"IP address", 100},
                               {"Data port", 80}, {"Web port", 80},     {"Gateway", 90},
                               {"Type", 60},      {"Device name", 95}};
constexpr int kColumnCount = 8;

QStringList RowTexts(const _stNetDeviceAddr& r, int number) {
    return {QString::number(number),
            QString::fromStdString(Text(r.mac)),
            QString::fromStdString(Text(r.ip)),
            QString::number(r.data_port),
            QString::number(r.web_port),
            QString::fromStdString(Text(r.gateway)),
            QString::fromLatin1(MakerTypeText(r.maker_type)),
            QString::fromStdString(Text(r.device_name))};
}

_stNetDeviceAddr RecordOf(const QTreeWidgetItem* item) {
    return item->data(0, kRecordRole).value<_stNetDeviceAddr>();
}

QPushButton* Button(QWidget* parent, int id, const char* text) {
    auto* b = new QPushButton(Tr(text), parent);
    b->setObjectName(QString("ctl%1").arg(id));
    return b;
}

}  // namespace

CSearchDlg::CSearchDlg(bool lan, QWidget* parent)
    : QDialog(parent), engine_(std::make_unique<SearchEngine>(lan)) {
    setObjectName("CSearchDlg");
    setWindowTitle(Tr("Search"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint);

    list_ = new QTreeWidget(this);
    list_->setObjectName("ctl1001");
    list_->setColumnCount(kColumnCount);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAlternatingRowColors(false);
    list_->setUniformRowHeights(true);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    QStringList titles;
    for (const Column& c : kColumns) titles << Tr(c.title);
    list_->setHeaderLabels(titles);
    for (int i = 0; i < kColumnCount; ++i) {
        list_->setColumnWidth(i, kColumns[i].width * 5 / 4);
        if (i > 0) list_->headerItem()->setTextAlignment(i, Qt::AlignCenter);
    }
    list_->header()->setSectionsClickable(true);
    list_->header()->setSortIndicatorShown(false);
    list_->header()->setStretchLastSection(true);
    // The list's background: the colour value 0xC2BFBB. Only the viewport
    // takes it, so the rows' check boxes keep their own light face.
    QPalette pal = list_->viewport()->palette();
    pal.setColor(QPalette::Base, QColor(0xBB, 0xBF, 0xC2));
    list_->viewport()->setPalette(pal);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &CSearchDlg::SortByColumn);
    connect(list_, &QWidget::customContextMenuRequested, this, &CSearchDlg::ShowContextMenu);

    search_button_ = Button(this, 1000, "Search");
    auto* repair = Button(this, 1002, "Repair network");
    auto* reboot = Button(this, 1003, "Reboot device");
    auto* restore = Button(this, 1004, "Restore default");
    auto* open_ie = Button(this, 1005, "Open IE");
    auto* upgrade = Button(this, 1006, "Upgrade");
    connect(search_button_, &QPushButton::clicked, this, &CSearchDlg::Search);
    connect(repair, &QPushButton::clicked, this, &CSearchDlg::RepairNetwork);
    connect(reboot, &QPushButton::clicked, this, &CSearchDlg::Reboot);
    connect(restore, &QPushButton::clicked, this, &CSearchDlg::Restore);
    connect(open_ie, &QPushButton::clicked, this, &CSearchDlg::OpenIE);
    connect(upgrade, &QPushButton::clicked, this, &CSearchDlg::Upgrade);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(open_ie);
    buttons->addWidget(restore);
    buttons->addWidget(reboot);
    buttons->addWidget(repair);
    buttons->addWidget(upgrade);
    buttons->addStretch(1);
    buttons->addWidget(search_button_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(900, 420);

    // The About entry: F1 (there is no system menu to add it to here).
    auto* about = new QShortcut(QKeySequence::HelpContents, this);
    connect(about, &QShortcut::activated, this, &CSearchDlg::About);

    search_timer_.setSingleShot(true);
    connect(&search_timer_, &QTimer::timeout, this, &CSearchDlg::EndSearch);
}

CSearchDlg::~CSearchDlg() {
    search_timer_.stop();
    engine_->Stop();
    if (action_thread_.joinable()) action_thread_.join();
    list_->clear();
    engine_.reset();
}

void CSearchDlg::About() {
    QStringList lines{Tr("Search") + " (zynsearch)", QString()};
    for (const std::string& line : engine_->Describe()) lines << QString::fromStdString(line);
    QMessageBox::about(this, Tr("About"), lines.join('\n'));
}

void CSearchDlg::Search() {
    search_button_->setEnabled(false);
    list_->clear();
    QPointer<CSearchDlg> self(this);
    engine_->Start([self](const _stNetDeviceAddr& r, int number) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, r, number] {
                if (self) self->AddRow(r, number);
            },
            Qt::QueuedConnection);
    });
    search_timer_.start(search_window_ms_);
}

void CSearchDlg::EndSearch() {
    search_timer_.stop();
    engine_->Stop();
    search_button_->setEnabled(true);
}

void CSearchDlg::AddRow(const _stNetDeviceAddr& r, int number) {
    auto* item = new QTreeWidgetItem(RowTexts(r, number));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setData(0, kRecordRole, QVariant::fromValue(r));
    for (int i = 1; i < kColumnCount; ++i) item->setTextAlignment(i, Qt::AlignCenter);
    list_->addTopLevelItem(item);
}

void CSearchDlg::SortByColumn(int c) {
    // Exchange sort, descending by the column's text compared byte by byte.
    int n = list_->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            QTreeWidgetItem* a = list_->topLevelItem(i);
            QTreeWidgetItem* b = list_->topLevelItem(j);
            if (a->text(c).toUtf8() < b->text(c).toUtf8()) {
                for (int k = 0; k < kColumnCount; ++k) {
                    QString t = a->text(k);
                    a->setText(k, b->text(k));
                    b->setText(k, t);
                }
                QVariant d = a->data(0, kRecordRole);
                a->setData(0, kRecordRole, b->data(0, kRecordRole));
                b->setData(0, kRecordRole, d);
            }
        }
    }
}

bool CSearchDlg::Selected(_stNetDeviceAddr* out) const {
    auto items = list_->selectedItems();
    if (items.isEmpty()) return false;
    *out = RecordOf(items.first());
    return true;
}

void CSearchDlg::ShowContextMenu(const QPoint& pos) {
    _stNetDeviceAddr r;
    if (!Selected(&r)) return;
    QMenu menu(this);
    menu.addAction(Tr("Open IE"), this, &CSearchDlg::OpenIESelected)->setObjectName("ctl32771");
    menu.addAction("PING", this, &CSearchDlg::Ping)->setObjectName("ctl32772");
    menu.addAction(Tr("Modify the parameters"), this, &CSearchDlg::Modify)
        ->setObjectName("ctl32776");
    menu.addAction(Tr("upgrade"), this, &CSearchDlg::Upgrade)->setObjectName("ctl32778");
    menu.addAction(Tr("reboot device"), this, &CSearchDlg::Reboot)->setObjectName("ctl32777");
    menu.exec(list_->viewport()->mapToGlobal(pos));
}

void CSearchDlg::OpenUrlFor(const _stNetDeviceAddr& r) {
    std::string ip = Text(r.ip);
    if (!IsDottedIpv4(ip)) return;  // device texts never become anything but an address
    Hooks().open_url(QUrl(QString("http://%1:%2").arg(QString::fromStdString(ip)).arg(r.web_port)));
}

void CSearchDlg::OpenIE() {
    bool any = false;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked) {
            any = true;
            OpenUrlFor(RecordOf(item));
        }
    }
    if (!any) OpenIESelected();
}

void CSearchDlg::OpenIESelected() {
    _stNetDeviceAddr r;
    if (Selected(&r)) OpenUrlFor(r);
}

void CSearchDlg::Ping() {
    _stNetDeviceAddr r;
    if (!Selected(&r)) return;
    std::string ip = Text(r.ip);
    if (!IsDottedIpv4(ip)) return;
    Hooks().run_program("PING " + QString::fromStdString(ip), "ping", {QString::fromStdString(ip)});
}

void CSearchDlg::RepairNetwork() {
    // The neighbour (ARP) cache and the resolver's cache.
    Hooks().run_program(Tr("Repair network"), "sh",
                        {"-c",
                         "ip neigh flush all; echo \"ip neigh flush all: $?\"; "
                         "resolvectl flush-caches; echo \"resolvectl flush-caches: $?\""});
}

void CSearchDlg::RunAction(std::function<std::string()> action) {
    if (action_busy_.exchange(true)) return;  // one device action at a time
    if (action_thread_.joinable()) action_thread_.join();
    QPointer<CSearchDlg> self(this);
    action_thread_ = std::thread([self, this, action = std::move(action)] {
        std::string message = action();
        QMetaObject::invokeMethod(
            self.data(),
            [self, message] {
                if (!self) return;
                self->action_busy_ = false;
                ShowTips(message);
            },
            Qt::QueuedConnection);
    });
}

void CSearchDlg::Reboot() {
    _stNetDeviceAddr r;
    if (!Selected(&r)) return;
    RunAction([this, r] { return engine_->actions().Reboot(r); });
}

void CSearchDlg::Restore() {
    _stNetDeviceAddr r;
    if (!Selected(&r)) return;
    RunAction([this, r] { return engine_->actions().Restore(r); });
}

void CSearchDlg::Modify() {
    _stNetDeviceAddr r;
    if (!Selected(&r)) return;
    CModifyDialog dlg(r, this);
    if (dlg.exec() != QDialog::Accepted) return;
    _stNetDeviceAddr edited = dlg.record();
    std::string current_ip = Text(r.ip);
    RunAction([this, edited, current_ip] { return engine_->actions().Modify(edited, current_ip); });
}

void CSearchDlg::Upgrade() {
    _stNetDeviceAddr r;
    if (!Selected(&r)) return;
    CUpdateDlg dlg(engine_->vendors(), r, this);
    dlg.exec();
}

int RunWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    AppLanguage().Load(ProgramDir());
    bool lan = InPrivateNetworkNamespace() || std::getenv("ZYNSEARCH_ALLOW_LAN");
    CSearchDlg dlg(lan);
    dlg.show();
    return app.exec();
}

}  // namespace zynsearch
