#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

#include "common/message_sink.h"
#include "common/trace_sink.h"

namespace cw::cli {

// The product's messages go to stderr, one line each; results go to stdout.
class StderrMessageSink final : public common::MessageSink {
 public:
  void Show(std::string_view text, std::string_view caption, common::MessageIcon icon) override;
  // How many messages were shown so far: a command that showed one has something to report.
  int shown() const { return shown_; }

 private:
  std::mutex mutex_;
  int shown_ = 0;
};

class StderrTraceSink final : public common::TraceSink {
 public:
  void Trace(std::string_view layer, std::string_view text) override;

 private:
  std::mutex mutex_;
};

bool StdoutIsTerminal();

}  // namespace cw::cli
