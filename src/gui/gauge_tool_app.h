#pragma once

#include <QStringList>
#include <expected>
#include <memory>
#include <optional>
#include <string>

#include "app/workbench.h"
#include "gui/gauge_worker.h"
#include "gui/message_box_sink.h"
#include "gui/progress_relay.h"

class QApplication;

namespace cw::gui {

class MainWindow;

// The options of the desktop program: the command line's device options (--device, --sim,
// --sim-state, --pid, --serial-prefix) and the product constants from cellwarden.ini. A usage
// error says why.
std::expected<app::WorkbenchOptions, std::string> WorkbenchOptionsFromArguments(
    const QStringList& arguments);
// The recipe --production names: the Production window alone, full screen. Empty without it.
QString ProductionRecipeArgument(const QStringList& arguments);
// The data logs `--view` names (none: the viewer opens empty); nothing without --view.
std::optional<QStringList> ViewArguments(const QStringList& arguments);
// What --help or --version asks to print instead of starting, when one of them is given.
std::optional<std::string> HelpOrVersionText(const QStringList& arguments);

// Dialogs and message boxes on the light grey of the product, with black text.
void ApplyProductLook(QApplication& application);

// "Settings"/"Language" = 0, written at every exit; nothing reads it.
void WriteExitSettings();

// GaugeToolApp: the program's parts in the order they need each other (message boxes, task
// progress, the workbench with its link and scan, the gauge worker, the main window), and their
// orderly end. Closing the main window while a long work runs (a data log, a firmware update or
// export, Read All, Write All, an .afi load, a calibration) first asks whether to stop it; keeping
// on working leaves everything as it was. Closing while gauge work is on its way does not close
// the window yet: it takes no more input and says that it is stopping, no box opens any more (and
// no job waits for one), the data log stops, the running job is asked to stop at its next safe
// point, the queued ones are dropped, every tool window closes (asking its tool's job to stop),
// and the window closes once the worker is idle, with the event loop running all along.
// The destructor then only joins threads that have ended or are stopping: the worker, the tools'
// workers when the Workbench closes them, and last the scan.
class GaugeToolApp {
 public:
  static std::expected<std::unique_ptr<GaugeToolApp>, std::string> Create(
      app::WorkbenchOptions options);
  ~GaugeToolApp();

  MainWindow& window() { return *window_; }
  app::Workbench& bench() { return *bench_; }
  MessageBoxSink& messages() { return messages_; }
  ProgressRelay& progress() { return progress_; }
  GaugeWorker& worker() { return worker_; }

  // A quit that nobody is there to answer for (SIGTERM, SIGINT: a logout, a kill): the window
  // closes as its close box does, running work stopped at its safe point without a question; a
  // question already open is answered Quit.
  void Quit();

 private:
  GaugeToolApp() = default;
  // Asked by the main window's close event: whether it may close now. Long work running is asked
  // about first (not after Quit); the first time anything is still on its way, it starts closing
  // and says no; the window closes again once the worker is idle.
  bool MayClose();
  // Whether the user chose to stop the long works running now; true when none runs.
  bool StopAgreed();
  void StartClosing();

  MessageBoxSink messages_;
  ProgressRelay progress_;
  std::unique_ptr<app::Workbench> bench_;
  GaugeWorker worker_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QObject> close_guard_;
  bool closing_ = false;
  bool asking_ = false;
  bool quit_without_asking_ = false;
};

// main(): start-up, the window until it closes, the setting. Returns the exit status.
int RunGaugeTool(int argc, char** argv);

}  // namespace cw::gui
