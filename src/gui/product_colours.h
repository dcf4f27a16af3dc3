#pragma once

#include <QRgb>

namespace cw::gui {

// The grey behind the product's dialogs, message boxes, lists and status bar.
inline constexpr QRgb kProductBackground = 0xE0E0E0;

}  // namespace cw::gui
