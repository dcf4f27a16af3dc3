#pragma once

#include <QDialog>
#include <functional>
#include <string_view>

#include "gui/change_relay.h"
#include "gui/gauge_worker.h"

namespace cw::gui {

// What every tool window is given: the worker its jobs run on, the job that closes its tool
// object in the Workbench, and, for a tool that runs jobs of its own, what asks it to stop them
// (returns at once; called on the GUI thread the moment the window closes).
struct ToolWindowSetup {
  GaugeWorker& worker;
  std::function<void()> close_tool;
  std::function<void()> stop_tool = {};
};

// A window of the Tools menu: modeless over the main window, showing one tool object of the
// Workbench, which exists from the window's opening to its closing. Everything that may wait (the
// bus, a disk, the scan's pause) and everything that follows it runs on the gauge worker, in the
// order asked, ending with the job that closes the tool: no job uses a tool that is gone, and the
// GUI thread never waits. A tool's own job is asked to stop when the window closes, not when the
// closing job gets its turn. The tool's change notifications reach Refresh() on the GUI thread
// until the window closes.
class ToolWindow : public QDialog {
  Q_OBJECT

 public:
  // Gone without closing (the program is ending): the tool's own job is asked to stop, and the
  // Workbench closes the tool when it goes.
  ~ToolWindow() override;

  // Shows the window centred over `main`.
  void ShowOver(QWidget& main);
  // No job of this window is on its way.
  bool idle() const { return running_ == 0; }

 protected:
  ToolWindow(std::string_view title, ToolWindowSetup setup, QWidget* parent);

  // Runs `job` on the worker; `done` gets its result on the GUI thread unless the window has
  // closed meanwhile (the tool may be gone by then).
  template <typename Result>
  void Run(std::function<Result()> job, std::function<void(const Result&)> done = {}) {
    if (running_++ == 0) ShowBusy(true);
    setup_.worker.Run<Result>(this, std::move(job), [this, done = std::move(done)](Result result) {
      if (--running_ == 0) ShowBusy(false);
      if (done && !closed_) done(result);
    });
  }

  template <typename... Args>
  void Watch(common::Observers<Args...>& observers) {
    relay_.Watch(observers);
  }
  // Shows the tool's state again.
  virtual void Refresh() = 0;
  // A job started or the last one ended: rest the controls that would start another.
  virtual void ShowBusy(bool busy) = 0;

  // The close box, Escape and close() all end here.
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  // Refresh stops here and the tool's own job is asked to stop: the tool is gone once the
  // closing job has run.
  void Detach();
  void CloseTool();

  ToolWindowSetup setup_;
  ChangeRelay relay_;
  int running_ = 0;
  bool closed_ = false;
};

}  // namespace cw::gui
