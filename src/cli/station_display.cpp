#include "cli/station_display.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>

#include "cli/messages.h"

namespace cw::cli {
namespace {

namespace text = messages::station;
using production::LanePhase;
using production::LaneView;

constexpr int kBarWidth = 20;

std::string SerialText(const LaneView& lane) {
  return lane.pack_serial ? std::to_string(*lane.pack_serial) : std::string(text::kNoSerial);
}

std::string Bar(int percent) {
  const int filled = std::clamp(percent, 0, 100) * kBarWidth / 100;
  return std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), ' ');
}

std::string LaneState(const LaneView& lane, std::string_view step_text) {
  switch (lane.phase) {
    case LanePhase::kIdle:
      return std::string("idle");
    case LanePhase::kWaitingForPack:
      return std::string("waiting for the next pack");
    case LanePhase::kRunning:
      return fmt::format(
          "{:<18} [{}] {}{}  {}", step_text, Bar(lane.step_percent),
          lane.step_percent < 0 ? std::string("    ") : fmt::format("{:3}%", lane.step_percent),
          lane.attempt > 1 ? fmt::format(" (attempt {})", lane.attempt) : std::string(),
          lane.activity);
    case LanePhase::kPass:
      return std::string("PASS");
    case LanePhase::kFail:
      return fmt::format("FAIL at {}: {}", step_text, lane.failure);
    case LanePhase::kStopped:
      return fmt::format("stopped at {}", step_text);
    case LanePhase::kGone:
      // A run the unplug cut short names its step: that pack needs rework.
      return lane.run_id && lane.step_number > 0
                 ? fmt::format("the adapter was unplugged at {}", step_text)
                 : std::string("the adapter was unplugged");
  }
  return {};
}

std::string Counters(const production::StationView& view) {
  const auto& counters = view.counters;
  return fmt::format("{} pass, {} fail, {} stopped, yield {}   {}", counters.passed,
                     counters.failed, counters.stopped,
                     counters.yield_percent ? fmt::format("{:.1f} %", *counters.yield_percent)
                                            : std::string(text::kNoSerial),
                     view.stop_requested ? "Stopping: each pack finishes its current step first."
                                         : "Ctrl-C stops every pack at a safe point.");
}

}  // namespace

std::string LiveLine(const LaneView& lane, std::string_view step_text) {
  return fmt::format("{:<14} serial {:>8}  {}", lane.adapter_serial, SerialText(lane),
                     LaneState(lane, step_text));
}

StationDisplay::StationDisplay(std::vector<production::StepKind> steps, bool live)
    : steps_(std::move(steps)), live_(live) {}

std::string StationDisplay::StepText(int number, int count) const {
  if (number < 1 || number > static_cast<int>(steps_.size())) return std::string(text::kNoStep);
  return fmt::format("{}/{} {}", number, count,
                     production::StepName(steps_[static_cast<std::size_t>(number - 1)]));
}

void StationDisplay::Show(const production::StationView& view) {
  std::lock_guard lock(mutex_);
  if (live_) {
    Draw(view);
  } else {
    for (const LaneView& lane : view.lanes) Tell(lane, told_[lane.adapter_serial]);
  }
  std::fflush(stdout);
}

void StationDisplay::Aside(const std::function<void()>& ask) {
  std::lock_guard lock(mutex_);
  ask();
  drawn_lines_ = 0;
}

void StationDisplay::Draw(const production::StationView& view) {
  std::string screen;
  if (drawn_lines_ > 0) screen += fmt::format("\x1b[{}F", drawn_lines_);
  for (const LaneView& lane : view.lanes) {
    screen += "\x1b[2K" + LiveLine(lane, StepText(lane.step_number, lane.step_count)) + "\n";
  }
  screen += "\x1b[2K" + Counters(view) + "\n";
  fmt::print("{}", screen);
  drawn_lines_ = static_cast<int>(view.lanes.size()) + 1;
}

void StationDisplay::TellStarted(const LaneView& lane, Told& told, int step, int attempt) {
  fmt::print("{}\n", fmt::format("{}  run {}  step {} started", lane.adapter_serial, *told.run_id,
                                 StepText(step, lane.step_count)));
  told.started = step;
  told.attempt = attempt;
}

// Every step up to `last_passed` that the lines have not told of yet, as started and passed.
void StationDisplay::TellStepsUpTo(const LaneView& lane, Told& told, int last_passed) {
  for (int step = told.passed + 1; step <= last_passed; ++step) {
    if (step > told.started) TellStarted(lane, told, step, 1);
    fmt::print("{}\n", fmt::format("{}  run {}  step {} passed", lane.adapter_serial, *told.run_id,
                                   StepText(step, lane.step_count)));
    told.passed = step;
  }
}

void StationDisplay::Tell(const LaneView& lane, Told& told) {
  if (lane.run_id && lane.run_id != told.run_id) told = Told{lane.run_id};
  const bool changed = lane.phase != told.phase;
  told.phase = lane.phase;
  const auto say = [&](std::string_view pattern, const auto&... args) {
    fmt::print("{}\n", fmt::format(fmt::runtime(pattern), lane.adapter_serial, args...));
  };
  if (lane.phase == LanePhase::kWaitingForPack) {
    if (changed) say("{}  waiting for the next pack");
    return;
  }
  if (lane.phase == LanePhase::kGone) {
    if (!changed) return;
    if (told.run_id && !told.ended && lane.run_id == told.run_id) {
      say("{}  run {}  the adapter was unplugged at {}", *told.run_id,
          StepText(lane.step_number, lane.step_count));
      told.ended = true;
    } else {
      say("{}  the adapter was unplugged");
    }
    return;
  }
  if (!told.run_id || told.ended || lane.phase == LanePhase::kIdle) return;
  const int at = lane.step_number;
  switch (lane.phase) {
    case LanePhase::kRunning:
      TellStepsUpTo(lane, told, at - 1);
      if (at > told.started) {
        TellStarted(lane, told, at, lane.attempt);
      } else if (at >= 1 && at == told.started && lane.attempt > told.attempt) {
        say("{}  run {}  step {} attempt {}", *told.run_id, StepText(at, lane.step_count),
            lane.attempt);
        told.attempt = lane.attempt;
      }
      return;
    case LanePhase::kPass:
      if (!changed) return;
      TellStepsUpTo(lane, told, lane.step_count);
      say("{}  run {}  pass, serial {}", *told.run_id, SerialText(lane));
      told.ended = true;
      return;
    case LanePhase::kFail:
      if (!changed) return;
      TellStepsUpTo(lane, told, at - 1);
      if (at > told.started) TellStarted(lane, told, at, lane.attempt);
      say("{}  run {}  step {} failed: {}", *told.run_id, StepText(at, lane.step_count),
          lane.failure);
      say("{}  run {}  fail at {}, serial {}", *told.run_id, StepText(at, lane.step_count),
          SerialText(lane));
      told.ended = true;
      return;
    case LanePhase::kStopped:
      if (!changed) return;
      say("{}  run {}  stopped at {}", *told.run_id, StepText(at, lane.step_count));
      told.ended = true;
      return;
    default:
      return;
  }
}

}  // namespace cw::cli
