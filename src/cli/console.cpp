#include "cli/console.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace cw::cli {

void StderrMessageSink::Show(std::string_view text, common::MessageIcon icon) {
  std::lock_guard lock(mutex_);
  last_shown_ = text;
  if (holding_) {
    held_.push_back({std::string(text), icon});
    return;
  }
  if (bar_) bar_->Finish();
  fmt::print(stderr, "{}\n", text);
}

void StderrMessageSink::Hold() {
  std::lock_guard lock(mutex_);
  holding_ = true;
}

void StderrMessageSink::Release(bool succeeded) {
  if (bar_) bar_->Finish();
  std::lock_guard lock(mutex_);
  holding_ = false;
  for (const HeldMessage& held : held_) {
    const bool result = succeeded && held.icon != common::MessageIcon::kWarning &&
                        held.icon != common::MessageIcon::kError;
    fmt::print(result ? stdout : stderr, "{}\n", held.text);
  }
  held_.clear();
}

std::string StderrMessageSink::LastShown() {
  std::lock_guard lock(mutex_);
  return last_shown_;
}

void StderrTraceSink::Trace(std::string_view layer, std::string_view text) {
  std::lock_guard lock(mutex_);
  fmt::print(stderr, "[{}] {}\n", layer, text);
}

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void ConsoleProgressBar::Draw(int done, int total, std::string_view suffix) {
  std::lock_guard lock(mutex_);
  if (!enabled_ || total <= 0) return;
  constexpr int kWidth = 40;
  const int filled = std::clamp(done * kWidth / total, 0, kWidth);
  fmt::print(stderr, "\r[{}{}] {:3}% {}", std::string(static_cast<std::size_t>(filled), '#'),
             std::string(static_cast<std::size_t>(kWidth - filled), ' '), done * 100 / total,
             suffix);
  drawn_ = true;
}

void ConsoleProgressBar::Finish() {
  std::lock_guard lock(mutex_);
  if (enabled_ && drawn_) fmt::print(stderr, "\n");
  drawn_ = false;
}

void ConsoleProgressSink::TaskProgress(common::TaskKind kind, int total, int done) {
  if (kind == common::TaskKind::kSbsScan) return;
  bar_.Draw(done, total, "");
}

}  // namespace cw::cli
