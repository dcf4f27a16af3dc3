#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace cw::common {

// Caption of every message box that names no caption of its own (the application name).
inline constexpr std::string_view kDefaultCaption = "Message";

enum class MessageIcon { kNone, kInformation, kWarning, kError };

// The product's one way to tell the user something (ShowMessage). The GUI shows a modal box,
// the CLI writes to stderr, tests record. The core never blocks on anything else.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(std::string_view text, std::string_view caption = kDefaultCaption,
                    MessageIcon icon = MessageIcon::kInformation) = 0;
};

// Swallows messages; for front ends that report failures by other means.
class NullMessageSink final : public MessageSink {
 public:
  void Show(std::string_view, std::string_view, MessageIcon) override {}
};

struct ShownMessage {
  std::string text;
  std::string caption;
  MessageIcon icon;
  bool operator==(const ShownMessage&) const = default;
};

// Keeps every message in order; tests assert on them. Thread-safe.
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

}  // namespace cw::common
