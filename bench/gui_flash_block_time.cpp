// The longest time the GUI thread is kept from its events while the data flash page runs Read All
// and Write All: on the simulated pack with a virtual clock, the page shown with the scan running
// as it does after start-up, Read All and Write All are pressed in turn as soon as the worker is
// free, at least 20 transfers and for at least 3 s of real time. The lists, the marks and the
// status bar's progress redraw throughout. Target: the longest gap under 16 ms (one frame).
#include <QPushButton>
#include <cstdio>

#include "gui/data_flash_page.h"
#include "gui_block_probe.h"

int main(int argc, char** argv) {
  using namespace cw;
  bench::GuiBench run(argc, argv);
  if (!run.ready()) return 1;
  gui::MainWindow& window = run.window();
  window.SelectPage(gui::Page::kDataFlash);
  gui::DataFlashPage& page = window.data_flash_page();
  bench::Settle(500);

  constexpr int kTransfers = 20;
  constexpr qint64 kRealSpanNs = 3'000'000'000;
  gui::GaugeWorker& worker = run.tool().worker();
  int pressed = 0;
  const bench::GuiBlocks blocks = bench::Measure(run.application(), [&](qint64 real_ns) {
    if (!worker.idle() || !page.read_all().isEnabled()) return false;
    if (pressed >= kTransfers && real_ns >= kRealSpanNs && pressed % 2 == 0) return true;
    // Read All first: Write All writes only once the gauge has been read.
    (pressed % 2 == 0 ? page.read_all() : page.write_all()).click();
    ++pressed;
    return false;
  });
  std::printf("GUI thread, data flash page with Read All and Write All in turn\n");
  std::printf("  transfers                 %d (%d Read All, %d Write All)\n", pressed,
              (pressed + 1) / 2, pressed / 2);
  std::printf("  gauge resets (Write All)  %d\n", run.tool().bench().sim_pack()->gauge().resets());
  bench::PrintBlocks(blocks, run.application());
  return 0;
}
