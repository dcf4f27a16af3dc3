#pragma once

#include <QSize>

class QWidget;

namespace cw::gui {

class MainWindow;

// The size of the window at its first start (nothing remembered yet): all it asks for, as far
// as the screen it opens on has room, so that no list or button starts cut off where a window
// of the platform's default size would cut it.
QSize FirstStartSize(const QWidget& window);

// What the main window remembers from one run to the next in the product's settings: its size
// and position, the SBS page's split between lists and chart, the live chart's registers and
// window, and, only when the Option menu says so,
// the SBS page's Scan and Log ticks and the logging interval (the start otherwise has none).
// Nothing remembered: the first start's size.
void RestoreLayout(MainWindow& window);
void SaveLayout(MainWindow& window);

}  // namespace cw::gui
