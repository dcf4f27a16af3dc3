#pragma once

#include <QIcon>
#include <QImage>

namespace cw::gui {

// The program's icon: a battery cell with a charge gauge, drawn rather than loaded so the window,
// the About box and the packaged picture are one artwork.
QImage AppIconImage(int size);
QIcon AppIcon();

}  // namespace cw::gui
