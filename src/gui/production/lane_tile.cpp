#include "gui/production/lane_tile.h"

#include <fmt/format.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

using production::LanePhase;

constexpr int kVerdictPointSize = 28;
constexpr int kTileMinimumWidth = 260;

struct PhaseLook {
  std::string_view text;
  QRgb background;  // the verdict's colours, read from across the bench
  QRgb foreground;
};

PhaseLook LookOf(LanePhase phase) {
  switch (phase) {
    case LanePhase::kIdle:
      return {messages::kTileIdle, 0xE0E0E0, 0x202020};
    case LanePhase::kWaitingForPack:
      return {"WAITING FOR A PACK", 0xFFF2B3, 0x202020};
    case LanePhase::kRunning:
      return {"RUNNING", 0xCFE2FF, 0x0B2E6B};
    case LanePhase::kPass:
      return {"PASS", 0x1E9E3A, 0xFFFFFF};
    case LanePhase::kFail:
      return {messages::kTileFail, 0xC62828, 0xFFFFFF};
    case LanePhase::kStopped:
      return {"STOPPED", 0xF0A030, 0x202020};
    case LanePhase::kGone:
      return {"UNPLUGGED", 0xBDBDBD, 0x606060};
  }
  return {messages::kTileIdle, 0xE0E0E0, 0x202020};
}

std::string StepText(const production::LaneView& lane) {
  if (!lane.step || lane.step_count == 0) return {};
  const std::string_view name = production::StepName(*lane.step);
  if (lane.attempt > 1) {
    return fmt::format("Step {} of {}: {} (attempt {})", lane.step_number, lane.step_count, name,
                       lane.attempt);
  }
  return fmt::format("Step {} of {}: {}", lane.step_number, lane.step_count, name);
}

}  // namespace

LaneTile::LaneTile(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  setMinimumWidth(kTileMinimumWidth);
  adapter_ = new QLabel(this);
  QFont bold = adapter_->font();
  bold.setBold(true);
  adapter_->setFont(bold);
  pack_ = new QLabel(this);
  step_ = new QLabel(this);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  activity_ = new QLabel(this);
  verdict_ = new QLabel(this);
  verdict_->setAlignment(Qt::AlignCenter);
  verdict_->setAutoFillBackground(true);
  QFont big = verdict_->font();
  big.setPointSize(kVerdictPointSize);
  big.setBold(true);
  verdict_->setFont(big);
  failure_ = new QLabel(this);
  failure_->setWordWrap(true);
  tally_ = new QLabel(this);
  restart_ = new QPushButton(Q("Restart"), this);
  // Space and Enter belong to the window (a foot switch starts every idle tile), not to the
  // button that was clicked last.
  restart_->setFocusPolicy(Qt::NoFocus);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(adapter_);
  layout->addWidget(pack_);
  layout->addWidget(verdict_);
  layout->addWidget(step_);
  layout->addWidget(bar_);
  layout->addWidget(activity_);
  layout->addWidget(failure_);
  layout->addStretch(1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(tally_, 1);
  bottom->addWidget(restart_);
  layout->addLayout(bottom);

  connect(restart_, &QPushButton::clicked, this,
          [this] { emit restartRequested(Q(adapter_serial_)); });
}

void LaneTile::Show(const production::LaneView& lane) {
  adapter_serial_ = lane.adapter_serial;
  adapter_->setText(Q(fmt::format("Adapter {}", lane.adapter_serial)));
  pack_->setText(Q(lane.pack_serial ? fmt::format("Pack {}", *lane.pack_serial)
                                    : std::string("Pack: no serial number yet")));

  if (!shown_ || lane.phase != phase_) {
    const PhaseLook look = LookOf(lane.phase);
    verdict_->setText(Q(look.text));
    QPalette colours = verdict_->palette();
    colours.setColor(QPalette::Window, QColor(look.background));
    colours.setColor(QPalette::WindowText, QColor(look.foreground));
    verdict_->setPalette(colours);
  }
  shown_ = true;

  const bool running = lane.phase == LanePhase::kRunning;
  step_->setText(Q(StepText(lane)));
  bar_->setVisible(running);
  // An unknown share of the step is shown as a step under way, not as 0 %.
  if (lane.step_percent < 0) {
    bar_->setRange(0, 0);
  } else {
    bar_->setRange(0, 100);
    bar_->setValue(lane.step_percent);
  }
  activity_->setText(running ? Q(lane.activity) : QString());
  activity_->setVisible(running);

  const bool failed = lane.phase == LanePhase::kFail;
  const std::string failed_at = lane.step ? std::string(production::StepName(*lane.step)) : "";
  failure_->setText(failed ? Q(fmt::format("Failed at {}: {}", failed_at, lane.failure))
                           : Q(lane.failure));
  failure_->setVisible(!lane.failure.empty());
  tally_->setText(Q(fmt::format("{} passed, {} failed", lane.passed, lane.failed)));

  const bool gone = lane.phase == LanePhase::kGone;
  setEnabled(!gone);
  restart_->setEnabled(!gone && !running && lane.phase != LanePhase::kWaitingForPack);
  phase_ = lane.phase;
}

}  // namespace cw::gui
