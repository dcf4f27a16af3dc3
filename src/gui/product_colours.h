#pragma once

#include <QRgb>

namespace cw::gui {

// The grey behind the product's dialogs, message boxes, lists and status bar.
inline constexpr QRgb kProductBackground = 0xE0E0E0;
// The banner that says why the adapter link is down: a warning, not an error of the user's.
inline constexpr QRgb kBannerBackground = 0xFFE08A;

}  // namespace cw::gui
