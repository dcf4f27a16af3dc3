#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/workbench.h"
#include "gui/gauge_tool_app.h"
#include "gui/main_window.h"
#include "monitor/register_table.h"
#include "sim/sim_gauge.h"

namespace cw::test {

// How long a flow waits for something the window or the pack is on its way to (a reading, a
// redraw, a job's end). A wait ends as soon as its condition holds, so this costs a passing run
// nothing; it is long because a machine busy with other builds runs the simulated pack and the
// sanitizers many times slower than an idle one.
inline constexpr int kFlowWaitMs = 30'000;

}  // namespace cw::test

// Every QTRY_ wait of the flows gets kFlowWaitMs instead of QtTest's five seconds.
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, ::cw::test::kFlowWaitMs)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) \
  QTRY_COMPARE_WITH_TIMEOUT(expr, expected, ::cw::test::kFlowWaitMs)
#undef QTRY_VERIFY2
#define QTRY_VERIFY2(expr, messageExpression) \
  QTRY_VERIFY2_WITH_TIMEOUT(expr, messageExpression, ::cw::test::kFlowWaitMs)

namespace cw::test {

// Answers the modal windows a flow opens, the way a user would: every message box with its
// affirmative button (its text is kept), every other modal dialog with the next step queued for
// it. A step returns true when it has done its part. Clicks are queued, so a box that a click
// opens is answered too.
class ModalAnswerer final : public QObject {
 public:
  using Step = std::function<bool(QWidget* dialog)>;
  ModalAnswerer();
  void Then(Step step) { steps_.push_back(std::move(step)); }
  bool done() const { return steps_.empty(); }

  QStringList boxes;
  QStringList captions;
  std::vector<QMessageBox::Icon> icons;
  // Called with every box before it is answered (for pictures of it).
  std::function<void(QMessageBox*)> on_box;

 private:
  void Poll();
  QTimer timer_;
  std::deque<Step> steps_;
};

// Clicks `button` of a dialog from the event loop, after the step that asked has returned.
void ClickLater(QAbstractButton* button);
// Clicks `button` (triggers `action`) as a user does: once the window has enabled it. A window
// enables its controls when the core's change reaches it, which may be a little after the work
// that disabled them has ended; a click on a disabled control does nothing, so a flow that
// clicked at once could go on without the work it asked for. False when it stays disabled.
bool Press(QAbstractButton& button);
bool Trigger(QAction& action);
// Types `seconds` into "Time Setting..." and presses OK.
ModalAnswerer::Step TypeInterval(const QString& seconds);
// Picks `path` (and the filter, when given) in the next file dialog.
ModalAnswerer::Step ChooseFile(const QString& path, const QString& filter = {});
// The whole file, or nothing when it cannot be read.
std::string ReadFile(const QString& path);

// The desktop program on the simulated pack, its clock virtual, the window shown. What an earlier
// window remembered (layout, chart, ticks) is forgotten first unless `remembered` says otherwise.
struct GuiFixture {
  explicit GuiFixture(const std::string& device = "sim:clock=virtual", bool remembered = false);
  ~GuiFixture();

  // Started, and its window on the screen.
  bool Ready();
  gui::MainWindow& window() { return tool->window(); }
  app::Workbench& bench() { return tool->bench(); }
  sim::SimGauge& gauge() { return bench().sim_pack()->gauge(); }
  // The raw value and text of a register row as the table holds them.
  std::int32_t Raw(std::string_view name);
  std::string Text(std::string_view name);
  void SetRaw(std::string_view name, std::int32_t raw);
  // A word register of the simulated gauge, read past the bus.
  std::uint16_t GaugeWord(std::uint8_t command);

  std::unique_ptr<gui::GaugeToolApp> tool;
  ModalAnswerer modal;
};

// The flows of the other test files, run after the shell's.
std::unique_ptr<QObject> DataFlashFlows();
std::unique_ptr<QObject> PageFlows();
std::unique_ptr<QObject> ToolWindowFlows();

}  // namespace cw::test
