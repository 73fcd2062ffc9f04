#include "configctrl/window/pages/motion_param_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

#include "configctrl/device/langchi_device.h"
#include "configctrl/window/front_set_dialog.h"
#include "configctrl/window/live_preview.h"
#include "configctrl/window/page_widgets.h"
#include "configctrl/window/pages/page_kit.h"
#include "configctrl/window/tips_box.h"
#include "zynvs/wire/byte_order.h"

namespace configctrl {

namespace {
const QStringList kSensitivities = {"lowest", "1", "2", "3", "4", "highest"};
constexpr int kGridBytes = CMotionParamDialog::kGridColumns * CMotionParamDialog::kGridRows;
static_assert(CMotionParamDialog::kGrid + kGridBytes == CMotionParamDialog::kRecordBytes);

}  // namespace

CMotionParamDialog::CMotionParamDialog(CFrontSetDialog* owner)
    : CPageDialog(kDialogId, owner), cells_(kGridBytes, 0) {
    const int channels = owner ? owner->channel_count() : 0;
    const int outputs = owner ? owner->alarm_out_count() : 0;

    channel_list_ = MakeCombo(this, 307);
    for (int c = 0; c < channels; ++c) channel_list_->addItem(QString::number(c + 1));
    channel_list_->setEnabled(channels > 1);
    enable_ = MakeCheck(this, 494, "Start motion detection:");
    sensitivity_ = MakeCombo(this, 646, kSensitivities);
    auto* head = new QHBoxLayout;
    head->addWidget(MakeLabel(this, "Select channel:"));
    head->addWidget(channel_list_);
    head->addSpacing(24);
    head->addWidget(enable_);
    head->addSpacing(24);
    head->addWidget(MakeLabel(this, "Sensitivity:"));
    head->addWidget(sensitivity_);
    head->addStretch(1);

    // The preview with the grid, and its two buttons.
    preview_ = new CLivePreview(this);
    preview_->setObjectName("ctl639");
    preview_->setFixedSize(kPreviewWidth, kPreviewHeight);
    preview_->setCursor(Qt::CrossCursor);
    preview_->SetOverlayPainter([this](QPainter& p) { PaintGrid(p); });
    auto* clear = MakeButton(this, 397, "clear");
    auto* all = MakeButton(this, 398, "all");
    auto* area_buttons = new QHBoxLayout;
    area_buttons->addWidget(clear);
    area_buttons->addWidget(all);
    area_buttons->addStretch(1);
    auto* area = new QVBoxLayout;
    area->addWidget(preview_);
    area->addLayout(area_buttons);
    area->addStretch(1);

    auto* rows = new QGroupBox(this);
    auto* grid = new QGridLayout(rows);
    MakeDayRows(rows, grid, 1, modes_, times_);
    grid->setColumnStretch(8, 1);

    QGroupBox* links = MakeTriggerChecks(this, channels, outputs, record_checks_, output_checks_);

    auto* right = new QVBoxLayout;
    right->addWidget(rows);
    right->addWidget(links);
    right->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addLayout(area);
    body->addSpacing(12);
    body->addLayout(right, 1);

    auto* ok = MakeButton(this, 541, "OK");
    auto* page = new QVBoxLayout(this);
    page->addLayout(head);
    page->addLayout(body);
    page->addWidget(ok, 0, Qt::AlignRight);
    page->addStretch(1);

    connect(clear, &QPushButton::clicked, this, [this] { FillGrid(0); });
    connect(all, &QPushButton::clicked, this, [this] { FillGrid(1); });
    connect(preview_, &CLivePreview::Pressed, this, &CMotionParamDialog::PressGrid);
    connect(preview_, &CLivePreview::Dragged, this, &CMotionParamDialog::DragGrid);
    connect(channel_list_, &QComboBox::currentIndexChanged, this, [this](int c) {
        if (c == shown_channel_ || c < 0) return;
        StoreChannel();
        ShowChannel(c);
        if (isVisible() && this->owner()->device()) preview_->Start(this->owner()->device(), c);
    });
    connect(ok, &QPushButton::clicked, this, [this] { Save(); });
}

std::vector<uint8_t> CMotionParamDialog::record(int channel) const {
    auto it = records_.find(channel);
    return it == records_.end() ? std::vector<uint8_t>{} : it->second;
}

// Shows the channel's live video (started, or moved here when it plays) and,
// the first time, its record.
void CMotionParamDialog::OnPageActivated(quint32, quint32) {
    if (records_.empty()) ShowChannel(std::max(0, channel_list_->currentIndex()));
    if (owner() && owner()->device() && shown_channel_ >= 0 && !preview_->playing())
        preview_->Start(owner()->device(), shown_channel_);
}

// Shown again without a page switch (the window itself was hidden): the
// video comes back.
void CMotionParamDialog::showEvent(QShowEvent* event) {
    CPageDialog::showEvent(event);
    if (owner() && owner()->device() && shown_channel_ >= 0 && !preview_->playing())
        preview_->Start(owner()->device(), shown_channel_);
}

void CMotionParamDialog::hideEvent(QHideEvent* event) {
    preview_->Stop();  // no video for a page nobody sees
    CPageDialog::hideEvent(event);
}

QPoint CMotionParamDialog::CellAt(QSize size, QPoint at) {
    const int c = at.x() * kGridColumns / std::max(1, size.width());
    const int r = at.y() * kGridRows / std::max(1, size.height());
    return {std::clamp(c, 0, kGridColumns - 1), std::clamp(r, 0, kGridRows - 1)};
}

void CMotionParamDialog::FillGrid(uint8_t value) {
    std::fill(cells_.begin(), cells_.end(), value);
    preview_->UpdateOverlay();
}

// A press on a marked cell clears, elsewhere marks, the rectangle dragged.
void CMotionParamDialog::PressGrid(QPoint at) {
    anchor_ = CellAt(preview_->size(), at);
    before_ = cells_;
    drag_value_ = cells_[anchor_.y() * kGridColumns + anchor_.x()] ? 0 : 1;
    DragGrid(at);
}

void CMotionParamDialog::DragGrid(QPoint at) {
    if (before_.size() != cells_.size()) return;  // no press began it
    cells_ = before_;
    const QPoint to = CellAt(preview_->size(), at);
    for (int r = std::min(anchor_.y(), to.y()); r <= std::max(anchor_.y(), to.y()); ++r)
        for (int c = std::min(anchor_.x(), to.x()); c <= std::max(anchor_.x(), to.x()); ++c)
            cells_[r * kGridColumns + c] = drag_value_;
    preview_->UpdateOverlay();
}

// Opaque outlines only: the overlay shows exactly the pixels painted.
void CMotionParamDialog::PaintGrid(QPainter& p) const {
    const QSize size = preview_->size();
    p.setPen(QPen(QColor(235, 50, 35), 1));
    for (int r = 0; r < kGridRows; ++r) {
        for (int c = 0; c < kGridColumns; ++c) {
            if (!cells_[r * kGridColumns + c]) continue;
            const int x0 = c * size.width() / kGridColumns,
                      x1 = (c + 1) * size.width() / kGridColumns;
            const int y0 = r * size.height() / kGridRows, y1 = (r + 1) * size.height() / kGridRows;
            p.drawRect(x0 + 1, y0 + 1, x1 - x0 - 3, y1 - y0 - 3);
        }
    }
}

// The shown channel's controls into its cached record.
void CMotionParamDialog::StoreChannel() {
    auto it = records_.find(shown_channel_);
    if (it == records_.end()) return;
    std::vector<uint8_t>& r = it->second;
    zyn::wire::StoreLe32(r.data() + kEnable, enable_->isChecked() ? 1 : 0);
    zyn::wire::StoreLe32(r.data() + kSensitivity,
                         static_cast<uint32_t>(std::max(0, sensitivity_->currentIndex())));
    StoreFlags(r.data() + kRecordFlags, record_checks_);
    StoreFlags(r.data() + kOutputFlags, output_checks_);
    StoreDayRows(r.data() + kSchedule, modes_, times_);
    std::copy(cells_.begin(), cells_.end(), r.begin() + kGrid);
}

// Shows a channel, reading its record the first time; a failed read shows
// an empty record (and a save writes what the controls then hold).
void CMotionParamDialog::ShowChannel(int channel) {
    shown_channel_ = channel;
    auto it = records_.find(channel);
    if (it == records_.end()) {
        std::vector<uint8_t> r(kRecordBytes, 0);
        auto* langchi = dynamic_cast<CLangChiDevice*>(owner() ? owner()->device() : nullptr);
        if (langchi == nullptr ||
            !langchi->LangChiConfig(0, kRead, channel, reinterpret_cast<intptr_t>(r.data()),
                                    kRecordBytes, 0))
            std::fill(r.begin(), r.end(), 0);
        it = records_.emplace(channel, std::move(r)).first;
    }
    const std::vector<uint8_t>& r = it->second;
    enable_->setChecked(zyn::wire::LoadLe32(r.data() + kEnable) != 0);
    const uint32_t sensitivity = zyn::wire::LoadLe32(r.data() + kSensitivity);
    sensitivity_->setCurrentIndex(sensitivity < 6 ? int(sensitivity) : 0);
    ShowFlags(r.data() + kRecordFlags, record_checks_);
    ShowFlags(r.data() + kOutputFlags, output_checks_);
    ShowDayRows(r.data() + kSchedule, modes_, times_);
    cells_.assign(r.begin() + kGrid, r.end());
    before_.clear();
    preview_->UpdateOverlay();
}

// Writes the record of every channel shown so far (edits of a channel left
// for another are kept in its record).
void CMotionParamDialog::Save() {
    if (records_.empty()) ShowChannel(std::max(0, channel_list_->currentIndex()));
    StoreChannel();
    auto* langchi = dynamic_cast<CLangChiDevice*>(owner() ? owner()->device() : nullptr);
    bool ok = langchi != nullptr;
    for (auto& [channel, r] : records_)
        ok = langchi != nullptr &&
             langchi->LangChiConfig(0, kWrite, channel, reinterpret_cast<intptr_t>(r.data()),
                                    kRecordBytes, 0) != 0 &&
             ok;
    ShowTips(this, ok ? "Set success" : "Set failed");
}

}  // namespace configctrl
