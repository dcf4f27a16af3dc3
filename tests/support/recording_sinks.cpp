#include "support/recording_sinks.h"

namespace cw::test {

void RecordingMessageSink::Show(std::string_view text, MessageIcon icon) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::string(text), icon});
}

std::vector<ShownMessage> RecordingMessageSink::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> RecordingMessageSink::Texts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& message : messages_) texts.push_back(message.text);
  return texts;
}

void RecordingMessageSink::Clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

void RecordingProgressSink::TaskProgress(TaskKind kind, int total, int done) {
  std::lock_guard lock(mutex_);
  reports_.push_back({kind, {total, done}});
}

std::vector<ProgressReport> RecordingProgressSink::Reports(TaskKind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<ProgressReport> of_kind;
  for (const auto& [report_kind, report] : reports_) {
    if (report_kind == kind) of_kind.push_back(report);
  }
  return of_kind;
}

std::vector<ProgressReport> RecordingProgressSink::Take(TaskKind kind) {
  std::vector<ProgressReport> of_kind = Reports(kind);
  Clear();
  return of_kind;
}

void RecordingProgressSink::Clear() {
  std::lock_guard lock(mutex_);
  reports_.clear();
}

}  // namespace cw::test
