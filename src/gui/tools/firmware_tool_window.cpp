#include "gui/tools/firmware_tool_window.h"

#include <fmt/format.h>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "firmware/image_record.h"
#include "gui/messages.h"
#include "gui/qt_text.h"
#include "gui/tools/file_field.h"

namespace cw::gui {
namespace {

constexpr int kBarEnd = 100;
constexpr int kTickMs = 1000;
constexpr int kCounterWidth = 90;
constexpr QRgb kPackStateText = 0xB00000;

constexpr FileDialogRequest kLoadDialog{messages::kLoadFirmwareTitle,
                                        "Cellwarden Bin File (*.bin)"};
constexpr FileDialogRequest kExportDialog{"Export Firmware", "Flash Data File (*.bin)", true,
                                          "BIN"};

// The time a job has taken and, once its pace is known, the time it still needs; empty before
// its first run.
QString TimeText(const firmware::JobTimes& times) {
  if (!times.started) return {};
  const std::string elapsed = firmware::DurationText(times.elapsed);
  if (!times.running) return Q(fmt::format("Took {}", elapsed));
  if (times.remaining) {
    return Q(fmt::format("Elapsed {}, about {} left", elapsed,
                         firmware::DurationText(*times.remaining)));
  }
  return Q(fmt::format("Elapsed {}", elapsed));
}

// What tells the loaded image from another; empty while none is loaded.
QString IdentityText(const firmware::LoadedImageView& image) {
  if (!image.loaded) return {};
  return Q(fmt::format(
      "Firmware version: not in the image (the gauge tells it once updated: FW_VERSION)\n"
      "Size: {} bytes, {} records\n"
      "SHA-256: {}",
      image.size, image.size / firmware::kRecordSize, image.sha256));
}

QProgressBar* MakeBar(QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setRange(0, kBarEnd);
  bar->setTextVisible(false);
  bar->hide();
  // Hidden until its job starts, without the rows below moving up and down.
  QSizePolicy policy = bar->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  bar->setSizePolicy(policy);
  return bar;
}

}  // namespace

FirmwareToolWindow::FirmwareToolWindow(firmware::FirmwareTool& tool, ToolWindowSetup setup,
                                       QWidget* parent)
    : ToolWindow("Firmware Update", std::move(setup), parent), tool_(tool) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeUpdateGroup());
  layout->addWidget(MakeExportGroup());
  // The two path fields line up.
  const int label_width =
      std::max(image_->label().sizeHint().width(), export_path_->label().sizeHint().width());
  image_->label().setMinimumWidth(label_width);
  export_path_->label().setMinimumWidth(label_width);

  clock_tick_.setInterval(kTickMs);
  connect(&clock_tick_, &QTimer::timeout, this, &FirmwareToolWindow::ShowTimes);
  Watch(tool_.changes());
  Refresh();
}

QWidget* FirmwareToolWindow::MakeUpdateGroup() {
  auto* group = new QGroupBox(Q("Firmware Update"), this);
  status_ = new QLabel(group);
  image_ = new FileField("Bin File:", "Load", kLoadDialog, FileField::LabelPlace::kLeft, group);
  identity_ = new QLabel(group);
  identity_->setObjectName("image_identity");
  // The SHA-256 is there to be compared with the one the image came with: it can be copied.
  identity_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  update_bar_ = MakeBar(group);
  counter_ = new QLabel(group);
  counter_->setMinimumWidth(kCounterWidth);
  counter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  update_time_ = new QLabel(group);
  pack_state_ = new QLabel(group);
  pack_state_->setWordWrap(true);
  QPalette warning = pack_state_->palette();
  warning.setColor(QPalette::WindowText, QColor(kPackStateText));
  pack_state_->setPalette(warning);
  run_again_ = new QPushButton(Q("Run the Update Again"), group);
  start_ = new QPushButton(Q("Start"), group);

  auto* layout = new QGridLayout(group);
  layout->addWidget(status_, 0, 0, 1, 2);
  layout->addWidget(image_, 1, 0, 1, 2);
  layout->addWidget(identity_, 2, 0, 1, 2);
  layout->addWidget(update_bar_, 3, 0);
  layout->addWidget(counter_, 3, 1);
  layout->addWidget(update_time_, 4, 0, 1, 2);
  layout->addWidget(pack_state_, 5, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(run_again_);
  buttons->addWidget(start_);
  layout->addLayout(buttons, 6, 0, 1, 2);

  connect(image_, &FileField::chosen, this, &FirmwareToolWindow::Load);
  connect(start_, &QPushButton::clicked, this, &FirmwareToolWindow::StartUpdate);
  connect(run_again_, &QPushButton::clicked, this, &FirmwareToolWindow::StartUpdate);
  return group;
}

QWidget* FirmwareToolWindow::MakeExportGroup() {
  auto* group = new QGroupBox(Q("Export Firmware"), this);
  export_path_ =
      new FileField("Bin Path:", "Set", kExportDialog, FileField::LabelPlace::kLeft, group);
  export_bar_ = MakeBar(group);
  export_time_ = new QLabel(group);
  export_ = new QPushButton(Q("Export"), group);

  auto* layout = new QGridLayout(group);
  layout->addWidget(export_path_, 0, 0, 1, 2);
  layout->addWidget(export_bar_, 1, 0, 1, 2);
  layout->addWidget(export_time_, 2, 0);
  layout->addWidget(export_, 2, 1, Qt::AlignRight);
  layout->setColumnStretch(0, 1);

  connect(export_path_, &FileField::chosen, this, [this](const QString& path) {
    tool_.export_job().Set(S(path));
    Refresh();
  });
  connect(export_, &QPushButton::clicked, this, &FirmwareToolWindow::StartExport);
  return group;
}

void FirmwareToolWindow::Load(const QString& path) {
  Run<common::Outcome>([&tool = tool_, path = S(path)] { return tool.Load(path); });
}

void FirmwareToolWindow::StartUpdate() {
  tool_.update().Start();
  Refresh();
}

void FirmwareToolWindow::StartExport() {
  Run<common::Outcome>([&tool = tool_] { return tool.export_job().Export(); },
                       [this](const common::Outcome&) { Refresh(); });
}

void FirmwareToolWindow::Refresh() {
  update_view_ = tool_.update().View();
  export_view_ = tool_.export_job().View();
  status_->setText(Q(update_view_.status_text));
  const firmware::LoadedImageView image = tool_.View();
  image_->ShowPath(Q(image.bin_path));
  identity_->setText(IdentityText(image));
  identity_->setVisible(image.loaded);
  update_bar_->setVisible(update_view_.started);
  update_bar_->setValue(update_view_.bar);
  counter_->setText(Q(update_view_.counter_text));
  export_path_->ShowPath(Q(export_view_.path));
  export_bar_->setVisible(export_view_.started);
  export_bar_->setValue(export_view_.bar);

  // What the core says the pack is left in, kept after its message box is gone.
  const bool failed = !update_view_.busy && update_view_.outcome &&
                      update_view_.outcome->verdict == common::Verdict::kFailed;
  QStringList state;
  if (failed) {
    for (const common::ShownMessage& message : update_view_.outcome->messages) {
      state << Q(message.text);
    }
  }
  pack_state_->setText(state.join('\n'));
  pack_state_->setVisible(failed);
  run_again_->setVisible(failed);

  ShowTimes();
  ShowBusy(!idle());
}

void FirmwareToolWindow::ShowBusy(bool busy) {
  image_->button().setEnabled(!busy);
  start_->setEnabled(!busy && !update_view_.busy);
  run_again_->setEnabled(!busy && !update_view_.busy);
  export_path_->button().setEnabled(!busy && !export_view_.busy);
  export_->setEnabled(!busy && !export_view_.busy);
}

void FirmwareToolWindow::ShowTimes() {
  // The times move on between the jobs' reports: taken afresh at every tick.
  const firmware::JobTimes update = tool_.update().View().times;
  const firmware::JobTimes export_times = tool_.export_job().View().times;
  update_time_->setText(TimeText(update));
  export_time_->setText(TimeText(export_times));
  const bool running = update.running || export_times.running;
  if (running && !clock_tick_.isActive()) clock_tick_.start();
  if (!running) clock_tick_.stop();
}

}  // namespace cw::gui
