#include "production/lane_sinks.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>

namespace cw::production {

void LaneMessages::Show(std::string_view text, common::MessageIcon icon) {
  std::lock_guard lock(mutex_);
  if (said_.size() == kKept) said_.erase(said_.begin());
  said_.push_back({std::string(text), icon});
}

void LaneMessages::ShowLinkNotice(std::string_view text) {
  Show(text, common::MessageIcon::kWarning);
}

void LaneMessages::Clear() {
  std::lock_guard lock(mutex_);
  said_.clear();
}

std::vector<common::ShownMessage> LaneMessages::Said() const {
  std::lock_guard lock(mutex_);
  return said_;
}

namespace {

std::string Joined(const std::vector<common::ShownMessage>& said) {
  std::vector<std::string> texts;
  const auto add = [&](bool serious) {
    for (const common::ShownMessage& message : said) {
      const bool is_serious = message.icon == common::MessageIcon::kError ||
                              message.icon == common::MessageIcon::kWarning;
      if (is_serious != serious || message.text.empty()) continue;
      if (std::ranges::find(texts, message.text) == texts.end()) texts.push_back(message.text);
    }
  };
  add(true);
  add(false);
  return fmt::format("{}", fmt::join(texts, "; "));
}

}  // namespace

std::string LaneMessages::Reason() const { return Joined(Said()); }

std::string FailureReason(const common::Outcome& outcome, const LaneMessages& messages,
                          std::string_view fallback) {
  std::string reason = Joined(outcome.messages);
  if (reason.empty()) reason = messages.Reason();
  if (reason.empty()) reason = fallback;
  return reason;
}

void LaneProgress::TaskProgress(common::TaskKind, int total, int done) {
  if (total <= 0) return;
  const int percent = std::clamp(done * 100 / total, 0, 100);
  Report(percent, fmt::format("{} of {}", done, total), done == 0 || done == total);
}

void LaneProgress::Report(int percent, std::string activity, bool force) {
  {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < kInterval) return;
    last_ = now;
  }
  listener_(percent, std::move(activity));
}

}  // namespace cw::production
