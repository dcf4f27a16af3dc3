#pragma once

namespace cw::gui {

class MainWindow;

// What the main window remembers from one run to the next in the product's settings: its size
// and position, the SBS page's split between lists and chart, the live chart's registers and
// window, and, only when the Option menu says so,
// the SBS page's Scan and Log ticks and the logging interval (the start otherwise has none).
void RestoreLayout(MainWindow& window);
void SaveLayout(MainWindow& window);

}  // namespace cw::gui
