#pragma once

#include <QSettings>

#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {

// Where the product keeps what it remembers between runs (the folders of the file dialogs, the
// window's layout, the chart's choice).
inline QSettings ProductSettings() {
  return QSettings(Q(messages::kOrganisation), Q(messages::kSettingsApplication));
}

}  // namespace cw::gui
