// CFrontSetDialog: the configuration window. A frameless top-level window
// owned by the control: the topic tree (control 205) on the left, the page
// area (the frame, control 201) on the right, and every page, created hidden
// as a child of the window; at most one page is visible.
//
// Owns the device and hands its events on as queued calls (DeviceEvent).
// Switching pages is a queued call with the old and the
// new page (either may be null): hide the old one; move the new one into the
// frame's rectangle shrunk by (2, 8, 6, 3), show it and activate it.
// Everything runs on the GUI thread; vendor threads never touch it.
#pragma once

#include <QPointer>

#include <memory>
#include <vector>

#include "configctrl/window/dialog_ex.h"

class QGroupBox;

namespace configctrl {

class CDevice;
class ClrTreeCtrlEx;

class CFrontSetDialog : public CDialogEx {
    Q_OBJECT

public:
    static constexpr int kDialogId = 201;
    static constexpr int kPageFrameId = 201;
    static constexpr int kSwitchPageMessage = 2015;  // the window's own message number
    // Size of the window in dialog units.
    static constexpr int kWidthDlu = 629, kHeightDlu = 405;

    // `owner`: the control (the window stays above it); may be null.
    explicit CFrontSetDialog(QWidget* owner);
    // Stops live video on the device, logs out and deletes it, then the pages.
    ~CFrontSetDialog() override;

    // Set by the login sequence before Create().
    void SetDevice(std::unique_ptr<CDevice> device, int device_type);
    void SetCounts(int channels, int alarm_inputs, int alarm_outputs);

    // Initialisation: translates the window, creates every page hidden,
    // builds the tree and, with a device, opens "Device info".
    void Create();

    CDevice* device() const { return device_.get(); }
    int device_type() const { return device_type_; }
    int channel_count() const { return channel_count_; }
    int alarm_in_count() const { return alarm_in_count_; }
    int alarm_out_count() const { return alarm_out_count_; }

    ClrTreeCtrlEx* tree() const { return tree_; }
    const std::vector<CDialogEx*>& pages() const { return pages_; }
    template <typename Page>
    Page* page() const {
        for (CDialogEx* p : pages_)
            if (auto* found = qobject_cast<Page*>(p)) return found;
        return nullptr;
    }
    CDialogEx* visible_page() const;

    // The page-switch message: queued, handled by SwitchPage.
    void PostSwitchPage(CDialogEx* old_page, CDialogEx* new_page);
    void SwitchPage(CDialogEx* old_page, CDialogEx* new_page);
    // The rectangle a page takes, in the window's coordinates.
    QRect PageRect() const;

    void OnPageActivated(quint32, quint32) override {}

    // Events of the device (alarms, lost connections; see device.h) arrive
    // here on the GUI thread, as queued calls from the vendor's thread.
signals:
    void DeviceEvent(int event, const QByteArray& data);

public:
    // Pixels of one horizontal and one vertical dialog unit (system font).
    static double DluX();
    static double DluY();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildTree();
    static void OnDeviceEvent(int device_id, int event, const void* data, int length, void* user);

    std::unique_ptr<CDevice> device_;
    int device_type_ = -1;
    int channel_count_ = 0;
    int alarm_in_count_ = 0;
    int alarm_out_count_ = 0;

    ClrTreeCtrlEx* tree_;
    QGroupBox* frame_;
    std::vector<CDialogEx*> pages_;  // in the order of creation
};

}  // namespace configctrl
