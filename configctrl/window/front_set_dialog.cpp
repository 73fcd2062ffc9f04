#include "configctrl/window/front_set_dialog.h"

#include <QFontMetricsF>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLayout>
#include <QResizeEvent>

#include "configctrl/control/language_dictionary.h"
#include "configctrl/control/module_dir.h"
#include "configctrl/device/device.h"
#include "configctrl/window/page_tree.h"
#include "configctrl/window/pages/category_pages.h"
#include "configctrl/window/pages/ddns_setting_dlg.h"
#include "configctrl/window/pages/device_base_dlg.h"
#include "configctrl/window/pages/device_manager_dlg.h"
#include "configctrl/window/pages/dlg_hard_disk_cfg.h"
#include "configctrl/window/pages/dlg_remote_ip_access.h"
#include "configctrl/window/pages/dlg_remote_motion_detect.h"
#include "configctrl/window/pages/dlg_serial_cfg.h"
#include "configctrl/window/pages/ftp_net_setting.h"
#include "configctrl/window/pages/ftp_recoder_dlg.h"
#include "configctrl/window/pages/motion_param_dialog.h"
#include "configctrl/window/pages/net_ip_param_dlg.h"
#include "configctrl/window/pages/sensor_param_dialog.h"
#include "configctrl/window/pages/storage_device_dlg.h"
#include "configctrl/window/pages/stream_protocol_dlg.h"
#include "configctrl/window/pages/sub_dlg_alarm_cfg.h"
#include "configctrl/window/pages/time_record_dlg.h"
#include "configctrl/window/pages/time_setting_dlg.h"
#include "configctrl/window/pages/user_manager_dlg.h"
#include "configctrl/window/pages/video_coding_dlg.h"
#include "configctrl/window/pages/video_param_dialog.h"
#include "configctrl/window/pages/wifi_set_dlg.h"

namespace configctrl {

namespace {

constexpr char kIconDevice[] = "/res/shebei.png";
constexpr char kIconNetwork[] = "/res/web.png";
constexpr char kIconChannel[] = "/res/audio.png";
constexpr char kIconAlarm[] = "/res/baojing.png";
constexpr char kIconStorage[] = "/res/clond.png";
constexpr char kIconInstalled[] = "/res/tree_icon_app_installed.png";

// What decides whether an item is in the tree. Conditions on the type are
// false without a device.
enum class When {
    kAlways,
    kNotQv,
    kLangChi,
    kAnts,
    kLangChiOrAnts,
    kOwnOrLangChi,
    kOwnLangChiOrAnts
};

struct TreeRow {
    const char* text;
    int depth;  // 0 top level, 1 child of the last top-level row
    const char* icon;
    When when;
    // The page for the device type.
    CDialogEx* (*page)(const CFrontSetDialog& w, int type);
};

template <typename Page>
CDialogEx* PageFor(const CFrontSetDialog& w, int) {
    return w.page<Page>();
}

template <typename LangChiPage, typename AntsPage>
CDialogEx* ByVendor(const CFrontSetDialog& w, int type) {
    if (type == kDeviceTypeLangChi) return w.page<LangChiPage>();
    if (type == kDeviceTypeAnts) return w.page<AntsPage>();
    return nullptr;
}

const TreeRow kTree[] = {
    {"Basic settings", 0, kIconDevice, When::kAlways, PageFor<CBaseDialog>},
    {"user manage", 1, kIconInstalled, When::kNotQv, PageFor<CUserManagerDlg>},
    {"Device info", 1, kIconInstalled, When::kAlways, PageFor<CDeviceBaseDlg>},
    {"time setting", 1, kIconInstalled, When::kAlways, PageFor<CTimeSettingDlg>},
    {"device manage", 1, kIconInstalled, When::kAlways, PageFor<CDeviceManagerDlg>},
    {"IP Chan Manage", 1, kIconInstalled, When::kAnts, PageFor<CDlgRemoteIPAccess>},
    {"network settings", 0, kIconNetwork, When::kAlways, PageFor<CNetSetDlg>},
    {"IP address and port", 1, kIconInstalled, When::kAlways, PageFor<CNetIPParamDlg>},
    {"Wireless settings", 1, kIconInstalled, When::kAlways, PageFor<CWifiSetDlg>},
    {"DDNS settings", 1, kIconInstalled, When::kAlways, PageFor<CDdnsSettingDlg>},
    {"transport protocol", 1, kIconInstalled, When::kAlways, PageFor<CStreamProtocolDlg>},
    {"Ftp settings", 1, kIconInstalled, When::kLangChi, PageFor<CFtpNetSetTing>},
    {"Channel parameter", 0, kIconChannel, When::kAlways, PageFor<CPictureSetDlg>},
    {"Character overlay", 1, kIconInstalled, When::kAlways, PageFor<CVideoParamDialog>},
    {"video coding", 1, kIconInstalled, When::kAlways, PageFor<CVideoCodingDlg>},
    {"PTZ protocol", 1, kIconInstalled, When::kLangChi, PageFor<CDlgSerialCfg>},
    {"Alarm settings", 0, kIconAlarm, When::kAlways, PageFor<CAlarmSetDlg>},
    {"sensor alarm", 1, kIconInstalled, When::kLangChiOrAnts,
     ByVendor<CSensorParamDialog, CSubDlgAlarmCfg>},
    {"motion detection", 1, kIconInstalled, When::kLangChiOrAnts,
     ByVendor<CMotionParamDialog, CDlgRemoteMotionDetect>},
    {"Storage settings", 0, kIconStorage, When::kOwnLangChiOrAnts, PageFor<CSaveDialog>},
    {"Disk Management", 1, kIconInstalled, When::kAnts, PageFor<CDlgHardDiskCfg>},
    {"Timer Record", 1, kIconInstalled, When::kOwnOrLangChi, PageFor<CTimeRecordDlg>},
    {"Ftp record", 1, kIconInstalled, When::kLangChi, PageFor<CFtpRecoderDlg>},
    {"Storage devices", 1, kIconInstalled, When::kLangChi, PageFor<CStorageDeviceDlg>},
};

bool Holds(When when, bool has_device, int type) {
    switch (when) {
        case When::kAlways:
            return true;
        case When::kNotQv:
            return has_device && type != kDeviceTypeQv;
        case When::kLangChi:
            return has_device && type == kDeviceTypeLangChi;
        case When::kAnts:
            return has_device && type == kDeviceTypeAnts;
        case When::kLangChiOrAnts:
            return has_device && (type == kDeviceTypeLangChi || type == kDeviceTypeAnts);
        case When::kOwnOrLangChi:
            return has_device && (type == kDeviceTypeZyn || type == kDeviceTypeLangChi);
        case When::kOwnLangChiOrAnts:
            return has_device && (type == kDeviceTypeZyn || type == kDeviceTypeLangChi ||
                                  type == kDeviceTypeAnts);
    }
    return false;
}

}  // namespace

double CFrontSetDialog::DluX() {
    return QFontMetricsF(QFont()).averageCharWidth() / 4.0;
}

double CFrontSetDialog::DluY() {
    return QFontMetricsF(QFont()).height() / 8.0;
}

CFrontSetDialog::CFrontSetDialog(QWidget* owner)
    : CDialogEx(kDialogId, owner, Qt::Window | Qt::FramelessWindowHint) {
    tree_ = new ClrTreeCtrlEx(this);
    frame_ = new QGroupBox(this);
    frame_->setObjectName(QString("ctl%1").arg(kPageFrameId));
    // The tree area (135 units) beside the page frame (473 units), 16 apart.
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, qRound(DluY()), qRound(5 * DluX()), qRound(6 * DluY()));
    layout->setSpacing(qRound(16 * DluX()));
    layout->addWidget(tree_, 135);
    layout->addWidget(frame_, 473);
    layout->setSizeConstraint(QLayout::SetNoConstraint);  // MoveWindow sets any size
    resize(qRound(kWidthDlu * DluX()), qRound(kHeightDlu * DluY()));
    tree_->post_switch = [this](CDialogEx* old_page, CDialogEx* new_page) {
        PostSwitchPage(old_page, new_page);
    };
}

CFrontSetDialog::~CFrontSetDialog() {
    if (device_) {
        // No live view of the device may run when it logs out; a channel that
        // is not playing answers 0 and nothing else happens.
        device_->SetEventCallback(nullptr, nullptr);  // waits for a running call
        if (device_->logged_in())
            for (int ch = 0; ch < kMaxChannels; ++ch) device_->StopRealPlay(ch);
        // With notification: the own SDK answers the logout with success only
        // then, and the device marks itself logged out.
        device_->Logout(1);
        device_.reset();
    }
    // The pages and the tree go with the window's children.
}

void CFrontSetDialog::SetDevice(std::unique_ptr<CDevice> device, int device_type) {
    device_ = std::move(device);
    device_type_ = device_type;
    if (device_) device_->SetEventCallback(&CFrontSetDialog::OnDeviceEvent, this);
}

// On a vendor thread: copies the event and queues it to the window; a call
// still queued when the window goes is dropped with it.
void CFrontSetDialog::OnDeviceEvent(int, int event, const void* data, int length, void* user) {
    auto* self = static_cast<CFrontSetDialog*>(user);
    QByteArray bytes =
        data && length > 0 ? QByteArray(static_cast<const char*>(data), length) : QByteArray();
    QMetaObject::invokeMethod(
        self, [self, event, bytes] { emit self->DeviceEvent(event, bytes); }, Qt::QueuedConnection);
}

void CFrontSetDialog::SetCounts(int channels, int alarm_inputs, int alarm_outputs) {
    channel_count_ = channels;
    alarm_in_count_ = alarm_inputs;
    alarm_out_count_ = alarm_outputs;
}

void CFrontSetDialog::Create() {
    if (!pages_.empty()) return;
    TranslateWindowTexts(this);
    // Every page, hidden, in this order.
    pages_ = {
        new CBaseDialog(this),
        new CSaveDialog(this),
        new CNetSetDlg(this),
        new CPictureSetDlg(this),
        new CWifiSetDlg(this),
        new CAlarmSetDlg(this),
        new CUserManagerDlg(this),
        new CDeviceBaseDlg(this),
        new CTimeSettingDlg(this),
        new CNetIPParamDlg(this),
        new CDdnsSettingDlg(this),
        new CFtpRecoderDlg(this),
        new CStreamProtocolDlg(this),
        new CSensorParamDialog(this),
        new CMotionParamDialog(this),
        new CVideoCodingDlg(this),
        new CVideoParamDialog(this),
        new CDayNightshiftDlg(this),
        new CDeviceManagerDlg(this),
        new CSubDlgAlarmCfg(this),
        new CDlgRemoteMotionDetect(this),
        new CDlgHardDiskCfg(this),
        new CDlgSerialCfg(this),
        new CTimeRecordDlg(this),
        new CStorageDeviceDlg(this),
        new CFtpNetSetTing(this),
        new CDlgRemoteIPAccess(this),
    };
    BuildTree();
    if (!device_) return;
    PostSwitchPage(nullptr, page<CDeviceBaseDlg>());
    tree_->SelectItem(tree_->FindItem(Tr("Device info")));
}

void CFrontSetDialog::BuildTree() {
    const QString dir = QString::fromLocal8Bit(ModuleDir().c_str());
    const bool has_device = device_ != nullptr;
    QTreeWidgetItem* top = nullptr;
    for (const TreeRow& row : kTree) {
        const bool shown = Holds(row.when, has_device, device_type_);
        if (row.depth == 0) {
            top = shown ? tree_->InsertItem(dir + row.icon, Tr(row.text), -1, true,
                                            row.page(*this, device_type_), nullptr)
                        : nullptr;
        } else if (shown && top) {
            tree_->InsertItem(dir + row.icon, Tr(row.text), -1, false,
                              row.page(*this, device_type_), top);
        }
    }
}

CDialogEx* CFrontSetDialog::visible_page() const {
    for (CDialogEx* p : pages_)
        if (p->isVisibleTo(this)) return p;
    return nullptr;
}

void CFrontSetDialog::PostSwitchPage(CDialogEx* old_page, CDialogEx* new_page) {
    QPointer<CDialogEx> old_ptr(old_page), new_ptr(new_page);
    QMetaObject::invokeMethod(
        this, [this, old_ptr, new_ptr] { SwitchPage(old_ptr, new_ptr); }, Qt::QueuedConnection);
}

void CFrontSetDialog::SwitchPage(CDialogEx* old_page, CDialogEx* new_page) {
    if (old_page) old_page->hide();
    if (!new_page) return;
    new_page->setGeometry(PageRect());
    new_page->show();
    new_page->raise();
    new_page->activateWindow();
    new_page->Activate(0, 0);
}

QRect CFrontSetDialog::PageRect() const {
    if (layout()) layout()->activate();  // the frame has its place even before the first show
    return frame_->geometry().adjusted(2, 8, -6, -3);
}

// A window that MoveWindow resized keeps its visible page in the frame.
void CFrontSetDialog::resizeEvent(QResizeEvent* event) {
    CDialogEx::resizeEvent(event);
    if (CDialogEx* p = visible_page()) p->setGeometry(PageRect());
}

}  // namespace configctrl
