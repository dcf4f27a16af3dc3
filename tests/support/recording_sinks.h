#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/front_end.h"
#include "common/null_sinks.h"

// Sinks and front-end doubles that keep or count what the core gave them, for tests and
// benchmarks that assert on what it showed.
namespace cw::test {

using common::MessageIcon;
using common::MessageSink;
using common::ProgressSink;
using common::ShownMessage;
using common::TaskKind;

// Keeps every message in order. Thread-safe.
class RecordingMessageSink final : public MessageSink {
 public:
  void Show(std::string_view text, MessageIcon icon) override;
  std::vector<ShownMessage> Messages() const;
  std::vector<std::string> Texts() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<ShownMessage> messages_;
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
class CountingScanPause final : public common::ScanPause {
 public:
  void PauseScan() override { ++pauses; }
  void ResumeScan() override { ++resumes; }
  std::atomic<int> pauses{0};
  std::atomic<int> resumes{0};
};

// Counts locks and unlocks of the main window and keeps its state.
class CountingMainUiLock final : public common::MainUiLock {
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

}  // namespace cw::test
