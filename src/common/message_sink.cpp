#include "common/message_sink.h"

namespace cw::common {

void RecordingMessageSink::Show(std::string_view text, std::string_view caption,
                                MessageIcon icon) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::string(text), std::string(caption), icon});
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

}  // namespace cw::common
