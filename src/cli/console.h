#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

#include "common/message_sink.h"
#include "common/progress_sink.h"
#include "common/trace_sink.h"

namespace cw::cli {

// The product's messages go to stderr, one line each; results go to stdout.
class StderrMessageSink final : public common::MessageSink {
 public:
  void Show(std::string_view text, std::string_view caption, common::MessageIcon icon) override;
  // How many messages were shown so far: a command that showed one has something to report.
  int shown() const { return shown_; }
  // A bar being drawn is ended before a message so the message starts its own line.
  void SetProgressBar(class ConsoleProgressBar* bar) { bar_ = bar; }

 private:
  std::mutex mutex_;
  int shown_ = 0;
  class ConsoleProgressBar* bar_ = nullptr;
};

class StderrTraceSink final : public common::TraceSink {
 public:
  void Trace(std::string_view layer, std::string_view text) override;

 private:
  std::mutex mutex_;
};

bool StdoutIsTerminal();

// A progress bar on stderr while a terminal watches stdout; nothing otherwise. The line is ended
// before anything else is printed (Finish) and when the bar goes away.
class ConsoleProgressBar {
 public:
  ConsoleProgressBar() : enabled_(StdoutIsTerminal()) {}
  ~ConsoleProgressBar() { Finish(); }
  void Draw(int done, int total, std::string_view suffix);
  void Finish();

 private:
  std::mutex mutex_;
  bool enabled_;
  bool drawn_ = false;
};

// The workbench's task progress as a bar: data flash transfers and calibration. The scan runs
// continuously and has a view of its own, so its reports are not drawn.
class ConsoleProgressSink final : public common::ProgressSink {
 public:
  void TaskProgress(common::TaskKind kind, int total, int done) override;
  ConsoleProgressBar& bar() { return bar_; }

 private:
  ConsoleProgressBar bar_;
};

}  // namespace cw::cli
