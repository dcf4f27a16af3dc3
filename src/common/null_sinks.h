#pragma once

#include "common/front_end.h"

// Sinks that swallow what they are given, for work whose front end reports by other means.
namespace cw::common {

class NullMessageSink final : public MessageSink {
 public:
  void Show(std::string_view, MessageIcon) override {}
};

class NullProgressSink final : public ProgressSink {
 public:
  void TaskProgress(TaskKind, int, int) override {}
};

}  // namespace cw::common
