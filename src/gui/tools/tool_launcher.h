#pragma once

#include <QObject>
#include <QPointer>
#include <array>

#include "app/workbench.h"
#include "gui/tools/tool_window.h"

namespace cw::gui {

class GaugeWorker;

// The windows of the Tools menu.
enum class ToolKind { kConvertBin, kConvertFs, kFirmware, kAuthentication };

// Opens the Tools menu's windows: each command closes the window of its kind that is open,
// opens a new tool object on the gauge worker (which waits for the scan to reach its pause) and
// then shows its window over the main window. A command given again before its window is up is
// the same command.
class ToolLauncher final : public QObject {
  Q_OBJECT

 public:
  ToolLauncher(app::Workbench& bench, GaugeWorker& worker, QWidget& main);

  void Open(ToolKind kind);
  // The window of that kind that is open, or null.
  ToolWindow* window(ToolKind kind) const { return open_[Index(kind)]; }
  bool any_open() const;
  // Closes every open window, as its close box does.
  void CloseAll();

 private:
  static std::size_t Index(ToolKind kind) { return static_cast<std::size_t>(kind); }
  // `open` and `close` are the Workbench's for the tool; `make` builds the window.
  template <typename Tool, typename Make>
  void Launch(ToolKind kind, Tool& (app::Workbench::*open)(), void (app::Workbench::*close)(),
              Make make);

  app::Workbench& bench_;
  GaugeWorker& worker_;
  QWidget& main_;
  std::array<QPointer<ToolWindow>, 4> open_;
  std::array<bool, 4> opening_{};
};

}  // namespace cw::gui
