#pragma once

#include <QRgb>
#include <array>

namespace cw::gui {

// The grey behind the product's dialogs, message boxes, lists and status bar.
inline constexpr QRgb kProductBackground = 0xE0E0E0;
// The banner that says why the adapter link is down: a warning, not an error of the user's.
inline constexpr QRgb kBannerBackground = 0xFFE08A;
// The charts' lines: distinct on screen and in print; a register keeps its colour whatever else
// is shown.
inline constexpr std::array<QRgb, 10> kChartColours = {0x1F77B4, 0xD62728, 0x2CA02C, 0xFF7F0E,
                                                       0x9467BD, 0x8C564B, 0xE377C2, 0x17BECF,
                                                       0xBCBD22, 0x7F7F7F};

}  // namespace cw::gui
