// The longest time the GUI thread is kept from its events while the scan runs with the live chart
// shown: every register scanned on the simulated pack for 60 s of virtual time, the chart on its
// tab (see gui_block_probe.h for how the gaps are measured). The virtual clock runs as fast as the
// scan can go, so 60 s of it pass in a blink; the measurement also lasts at least 5 s of real time,
// so that the tables and the chart redraw often enough to be measured, and starts once the window
// has settled.
#include <QPushButton>
#include <QTabBar>

#include "gui/sbs_page.h"
#include "gui_block_probe.h"
#include "monitor/sbs_session.h"

int main(int argc, char** argv) {
  using namespace cw;
  bench::GuiBench run(argc, argv);
  if (!run.ready()) return 1;
  gui::MainWindow& window = run.window();
  gui::SbsPage& page = window.sbs_page();
  page.button(monitor::RowSelection::kScanAll).click();
  page.tabs().setCurrentIndex(2);

  constexpr common::Millis kVirtualSpan{60'000};
  constexpr qint64 kRealSpanNs = 5'000'000'000;
  bench::Settle(500);

  common::Clock& clock = run.tool().bench().clock();
  const common::Millis start = clock.Now();
  const bench::GuiBlocks blocks = bench::Measure(run.application(), [&](qint64 real_ns) {
    return clock.Now() - start >= kVirtualSpan && real_ns >= kRealSpanNs;
  });

  std::printf("GUI thread, scan of every register with the live chart shown\n");
  std::printf("  virtual time scanned      %lld s\n",
              static_cast<long long>((clock.Now() - start).count() / 1000));
  bench::PrintBlocks(blocks, run.application());
  return 0;
}
