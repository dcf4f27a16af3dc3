#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/front_end.h"

namespace cw::cli {

// The product's messages go to stderr, one line each; results go to stdout. A command whose
// success message is its result holds the messages and prints them when it knows the outcome.
class StderrMessageSink final : public common::MessageSink {
 public:
  void Show(std::string_view text, common::MessageIcon icon) override;
  // A bar being drawn is ended before a message so the message starts its own line.
  void SetProgressBar(class ConsoleProgressBar* bar) { bar_ = bar; }

  // From Hold to Release the messages are kept. Release prints them to stderr, except the
  // notices of a command that succeeded (its success message is its result), which go to
  // stdout; a warning or an error stays on stderr whatever the outcome.
  void Hold();
  void Release(bool succeeded);
  // The last message shown or held, for a failure that is told again as a JSON document.
  std::string LastShown();

 private:
  std::mutex mutex_;
  bool holding_ = false;
  struct HeldMessage {
    std::string text;
    common::MessageIcon icon;
  };
  std::vector<HeldMessage> held_;
  std::string last_shown_;
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
