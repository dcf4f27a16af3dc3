#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/front_end.h"

// What a station lane's Workbench says and how far its work has got: kept for the lane's view
// and for the failure text of a step, never shown in a box or written to a terminal (a station
// runs several packs at once, and its front end shows one line or tile per lane).
namespace cw::production {

class LaneMessages final : public common::MessageSink {
 public:
  void Show(std::string_view text, common::MessageIcon icon) override;
  void ShowLinkNotice(std::string_view text) override;

  // Forgets what was said: a step starts.
  void Clear();
  std::vector<common::ShownMessage> Said() const;
  // What was said since Clear, for an operator: errors and warnings first, each once, joined
  // with "; " (nothing when nothing was said).
  std::string Reason() const;

 private:
  // A gauge that stops answering while a lane polls it says so at every poll.
  static constexpr std::size_t kKept = 32;
  mutable std::mutex mutex_;
  std::vector<common::ShownMessage> said_;
};

// The reason of a failed operation: its own messages when it has any (a lent Workbench shows
// them elsewhere), else what the lane's sink heard, else `fallback`.
std::string FailureReason(const common::Outcome& outcome, const LaneMessages& messages,
                          std::string_view fallback);

// The progress of the running step in percent, from the sessions' progress reports, passed on
// at most ten times a second (the first and the last report always).
class LaneProgress final : public common::ProgressSink {
 public:
  using Listener = std::function<void(int percent, std::string activity)>;
  explicit LaneProgress(Listener listener) : listener_(std::move(listener)) {}

  void TaskProgress(common::TaskKind kind, int total, int done) override;
  // A step's own progress (the firmware update's bar).
  void Report(int percent, std::string activity, bool force = false);

 private:
  static constexpr std::chrono::milliseconds kInterval{100};
  Listener listener_;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace cw::production
