// The longest time the GUI thread is kept from its events while the Production window runs the
// example line's recipe on four simulated packs at once (see gui_block_probe.h for how the gaps
// are measured): the window as the operator opens it from the Tools menu, the recipe chosen, then
// Start, and again each time every tile has its answer, until at least 5 s of real time have
// passed. The recipe leaves the seal out, so that every round runs every other step.
//
// The packs run on the real clock, as on a line: about 34 s for a round. A device string as the
// first argument chooses others; on "sim:packs=4:clock=virtual" the four lanes compute as fast as
// the cores allow, and on two cores the GUI thread then waits for a core far longer than it works.
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <string>

#include "gui/production/production_header.h"
#include "gui/production/production_window.h"
#include "gui_block_probe.h"
#include "support/recipe_folder.h"

int main(int argc, char** argv) {
  using namespace cw;
  QTemporaryDir folder;
  const test::RecipeFolder line(folder.path().toStdString());
  // Without the seal, so that every round makes its packs again from the firmware on, as a line
  // does with new packs: a sealed pack would fail at once from the second round on.
  std::string steps = line.FullSteps();
  steps.erase(steps.find("[steps.seal]"));
  const std::filesystem::path recipe = line.Write("line", steps);
  bench::GuiBench run(argc, argv, argc > 1 ? argv[1] : "sim:packs=4");
  if (!run.ready()) return 1;
  gui::MainWindow& window = run.window();

  window.action(gui::MenuCommand::kProductionCommand).trigger();
  auto* production = window.findChild<gui::ProductionWindow*>();
  if (production == nullptr) return 1;
  production->show();
  QLineEdit& records = production->header().records_field();
  records.setText(folder.filePath("records.sqlite"));
  emit records.editingFinished();
  production->OpenRecipe(QString::fromStdString(recipe.string()));
  while (production->station() == nullptr || production->tiles().size() < 4 ||
         !production->idle()) {
    if (!production->note().text().isEmpty()) {
      std::fprintf(stderr, "%s\n", qPrintable(production->note().text()));
      return 1;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  bench::Settle(500);

  constexpr qint64 kRealSpanNs = 5'000'000'000;
  int rounds = 0;
  bool started = false;
  production::StationCounters counters;
  // The quit at the end closes every window, this one too.
  const QPointer<gui::ProductionWindow> shown(production);
  const bench::GuiBlocks blocks = bench::Measure(run.application(), [&](qint64 real_ns) {
    if (!shown || shown->station() == nullptr) return true;
    const production::StationView view = shown->station()->View();
    counters = view.counters;
    const bool running = view.running || shown->holding();
    if (started && running) return false;
    if (started) {
      started = false;
      ++rounds;
    }
    // The next Start as the operator gives it: once the window shows every tile's answer.
    if (real_ns < kRealSpanNs && shown->start().isEnabled()) {
      shown->start().click();
      started = true;
    }
    return !started && real_ns >= kRealSpanNs;
  });

  std::printf(
      "GUI thread, a whole line's recipe on 4 simulated packs at once in the Production window\n");
  std::printf("  rounds of 4 packs         %d (%d passed, %d failed)\n", rounds, counters.passed,
              counters.failed);
  bench::PrintBlocks(blocks, run.application());
  // Closed as the operator closes it, so that the station's lanes end before the program does.
  if (shown) shown->close();
  while (shown) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return 0;
}
