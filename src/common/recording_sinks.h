#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/front_end.h"

// Sinks that swallow or keep what they are given: for front ends that report by other means,
// and for tests that assert on what the core showed.
namespace cw::common {

class NullMessageSink final : public MessageSink {
 public:
  void Show(std::string_view, std::string_view, MessageIcon) override {}
};

// Keeps every message in order. Thread-safe.
class RecordingMessageSink final : public MessageSink {
 public:
  void Show(std::string_view text, std::string_view caption, MessageIcon icon) override;
  std::vector<ShownMessage> Messages() const;
  std::vector<std::string> Texts() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<ShownMessage> messages_;
};

class NullProgressSink final : public ProgressSink {
 public:
  void TaskProgress(TaskKind, int, int) override {}
};

struct ProgressReport {
  int total = 0;
  int done = 0;
  bool operator==(const ProgressReport&) const = default;
};

// Keeps every report in order; tests assert on those of one kind. Thread-safe.
class RecordingProgressSink final : public ProgressSink {
 public:
  void TaskProgress(TaskKind kind, int total, int done) override;
  std::vector<ProgressReport> Reports(TaskKind kind) const;
  // The reports of `kind`; every report recorded so far is forgotten.
  std::vector<ProgressReport> Take(TaskKind kind);
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<TaskKind, ProgressReport>> reports_;
};

// Counts pauses and resumes; for tools tested without a scan worker.
class CountingScanPause final : public ScanPause {
 public:
  void PauseScan() override { ++pauses; }
  void ResumeScan() override { ++resumes; }
  std::atomic<int> pauses{0};
  std::atomic<int> resumes{0};
};

// Counts locks and unlocks of the main window and keeps its state.
class CountingMainUiLock final : public MainUiLock {
 public:
  void LockMainUi() override {
    ++locks;
    locked = true;
  }
  void UnlockMainUi() override {
    ++unlocks;
    locked = false;
  }
  std::atomic<int> locks{0};
  std::atomic<int> unlocks{0};
  std::atomic<bool> locked{false};
};

}  // namespace cw::common
