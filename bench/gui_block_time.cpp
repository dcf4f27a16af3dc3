// The longest time the GUI thread is kept from its events while the scan runs with the live chart
// shown, and what one redraw of the chart costs it: every register scanned on the simulated pack
// on the real clock, as a user sees it, for 10 s once the window has settled, the chart on its
// tab with its five default registers (see gui_block_probe.h for how the gaps are measured).
// Targets: the longest gap under 16 ms, a chart frame at most 8 ms of the GUI thread's CPU.
#include <QChartView>
#include <QPushButton>
#include <QTabBar>

#include "gui/chart_panel.h"
#include "gui/sbs_page.h"
#include "gui_block_probe.h"
#include "monitor/sbs_session.h"

int main(int argc, char** argv) {
  using namespace cw;
  bench::GuiBench run(argc, argv, "sim");
  if (!run.ready()) return 1;
  gui::MainWindow& window = run.window();
  gui::SbsPage& page = window.sbs_page();
  page.button(monitor::RowSelection::kScanAll).click();
  page.tabs().setCurrentIndex(2);
  gui::ChartPanel& chart = page.chart();
  run.application().WatchRedraws(&chart, chart.view().viewport());

  constexpr qint64 kRealSpanNs = 10'000'000'000;
  bench::Settle(1000);

  common::Clock& clock = run.tool().bench().clock();
  const common::Millis start = clock.Now();
  const bench::GuiBlocks blocks =
      bench::Measure(run.application(), [&](qint64 real_ns) { return real_ns >= kRealSpanNs; });

  std::printf("GUI thread, scan of every register with the live chart shown (real clock)\n");
  std::printf("  time scanned              %.1f s, %zu chart points shown\n",
              static_cast<double>((clock.Now() - start).count()) / 1000.0, [&] {
                std::size_t points = 0;
                for (const auto& series : chart.samples().View(1000).series) {
                  points += series.points.size();
                }
                return points;
              }());
  bench::PrintBlocks(blocks, run.application());
  return 0;
}
