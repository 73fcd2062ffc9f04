// The pages of the tree's top-level topics and the day/night page. They show
// no device data: "Basic settings" is three collapsible groups, "network
// settings" a "device IP" row that stays empty, the others are empty.
#pragma once

#include "configctrl/window/dialog_ex.h"

class QGroupBox;
class QPushButton;

namespace configctrl {

class CBaseDialog : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 202;
    // Title buttons of the three groups.
    static constexpr int kUserManagementButton = 331;
    static constexpr int kDeviceNameButton = 332;
    static constexpr int kTimeButton = 333;

    explicit CBaseDialog(CFrontSetDialog* owner);
    void OnPageActivated(quint32, quint32) override {}

    // Collapses or expands the group under title button `button_id`; the
    // groups below move up or down with it.
    void ToggleGroup(int button_id);
    bool IsGroupExpanded(int button_id) const;

private:
    struct Group {
        int button_id;
        QPushButton* title;
        QGroupBox* body;
    };
    Group groups_[3];
};

class CSaveDialog : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 204;
    explicit CSaveDialog(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}
    void OnPageActivated(quint32, quint32) override {}
};

class CNetSetDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 203;
    explicit CNetSetDlg(CFrontSetDialog* owner);
    void OnPageActivated(quint32, quint32) override {}
};

class CPictureSetDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 206;
    explicit CPictureSetDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}
    void OnPageActivated(quint32, quint32) override {}
};

class CAlarmSetDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 308;
    explicit CAlarmSetDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}
    void OnPageActivated(quint32, quint32) override {}
};

// Created with the others but reached from no tree item.
class CDayNightshiftDlg : public CPageDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 221;
    explicit CDayNightshiftDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {}
    void OnPageActivated(quint32, quint32) override {}
};

}  // namespace configctrl
