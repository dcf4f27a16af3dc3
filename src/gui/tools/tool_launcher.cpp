#include "gui/tools/tool_launcher.h"

#include <algorithm>

#include "gui/gauge_worker.h"
#include "gui/tools/authentication_window.h"
#include "gui/tools/bin_converter_window.h"
#include "gui/tools/firmware_tool_window.h"
#include "gui/tools/fs_converter_window.h"

namespace cw::gui {

ToolLauncher::ToolLauncher(app::Workbench& bench, GaugeWorker& worker, QWidget& main)
    : QObject(&main), bench_(bench), worker_(worker), main_(main) {}

template <typename Tool, typename Make>
void ToolLauncher::Launch(ToolKind kind, Tool& (app::Workbench::*open)(),
                          void (app::Workbench::*close)(), Make make) {
  const std::size_t index = Index(kind);
  if (opening_[index]) return;
  // Its closing job runs before the opening below: one tool of a kind at a time.
  if (open_[index]) open_[index]->close();
  opening_[index] = true;
  worker_.Run<Tool*>(
      this, [&bench = bench_, open] { return &(bench.*open)(); },
      [this, index, close, make](Tool* tool) {
        opening_[index] = false;
        ToolWindowSetup setup{worker_, [&bench = bench_, close] { (bench.*close)(); }};
        if constexpr (requires { tool->RequestClose(); }) {
          setup.stop_tool = [tool] { tool->RequestClose(); };
        }
        ToolWindow* window = make(*tool, std::move(setup));
        open_[index] = window;
        window->ShowOver(main_);
      });
}

void ToolLauncher::CloseAll() {
  for (const QPointer<ToolWindow>& window : open_) {
    if (window) window->close();
  }
}

bool ToolLauncher::any_open() const {
  return std::any_of(open_.begin(), open_.end(),
                     [](const QPointer<ToolWindow>& window) { return !window.isNull(); });
}

void ToolLauncher::Open(ToolKind kind) {
  switch (kind) {
    case ToolKind::kConvertBin:
      Launch(kind, &app::Workbench::OpenBinConverter, &app::Workbench::CloseBinConverter,
             [this](firmware::BinConverter& tool, ToolWindowSetup setup) {
               return new BinConverterWindow(tool, std::move(setup), &main_);
             });
      return;
    case ToolKind::kConvertFs:
      Launch(kind, &app::Workbench::OpenFsConverter, &app::Workbench::CloseFsConverter,
             [this](firmware::FsConverter& tool, ToolWindowSetup setup) {
               return new FsConverterWindow(tool, std::move(setup), &main_);
             });
      return;
    case ToolKind::kFirmware:
      Launch(kind, &app::Workbench::OpenFirmwareTool, &app::Workbench::CloseFirmwareTool,
             [this](firmware::FirmwareTool& tool, ToolWindowSetup setup) {
               return new FirmwareToolWindow(tool, std::move(setup), &main_);
             });
      return;
    case ToolKind::kAuthentication:
      Launch(kind, &app::Workbench::OpenAuthenticationTool,
             &app::Workbench::CloseAuthenticationTool,
             [this](app::AuthenticationTool& tool, ToolWindowSetup setup) {
               return new AuthenticationWindow(tool, std::move(setup), &main_);
             });
      return;
  }
}

}  // namespace cw::gui
