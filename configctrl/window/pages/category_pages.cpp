#include "configctrl/window/pages/category_pages.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "configctrl/control/language_dictionary.h"

namespace configctrl {

CBaseDialog::CBaseDialog(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    struct Spec {
        int button_id;
        const char* title;
        const char* body;
    };
    static const Spec kGroups[] = {
        {kUserManagementButton, "user management", "Users and passwords of the device"},
        {kDeviceNameButton, "device name", "Name and ID of the device"},
        {kTimeButton, "time", "Date and time of the device"},
    };
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < 3; ++i) {
        Group& g = groups_[i];
        g.button_id = kGroups[i].button_id;
        g.title = new QPushButton(kGroups[i].title, this);
        g.title->setObjectName(QString("ctl%1").arg(g.button_id));
        g.title->setCheckable(true);
        g.title->setChecked(true);
        g.title->setStyleSheet("text-align: left; padding: 3px 8px; font-weight: bold;");
        g.body = new QGroupBox(this);
        auto* body_layout = new QVBoxLayout(g.body);
        body_layout->addWidget(new QLabel(Tr(kGroups[i].body), g.body));
        layout->addWidget(g.title);
        layout->addWidget(g.body);
        const int id = g.button_id;
        connect(g.title, &QPushButton::clicked, this, [this, id] { ToggleGroup(id); });
    }
    layout->addStretch(1);
    TranslateWindowTexts(this);
}

void CBaseDialog::ToggleGroup(int button_id) {
    for (Group& g : groups_) {
        if (g.button_id != button_id) continue;
        const bool expand = !g.body->isVisibleTo(this);
        g.body->setVisible(expand);
        g.title->setChecked(expand);
    }
}

bool CBaseDialog::IsGroupExpanded(int button_id) const {
    for (const Group& g : groups_)
        if (g.button_id == button_id) return g.body->isVisibleTo(this);
    return false;
}

CNetSetDlg::CNetSetDlg(CFrontSetDialog* owner) : CPageDialog(kDialogId, owner) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("device IP", this));
    for (int i = 0; i < 3; ++i) row->addWidget(new QLineEdit(this));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addStretch(1);
    TranslateWindowTexts(this);
}

}  // namespace configctrl
