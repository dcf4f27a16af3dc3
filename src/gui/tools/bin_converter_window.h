#pragma once

#include "firmware/converters.h"
#include "gui/tools/tool_window.h"

class QPushButton;

namespace cw::gui {

class FileField;

// "Convert Bin File": an image that carries an .afi's constants, written beside the image. The
// scan rests while the window is open. Choosing the bin file and converting run on the gauge
// worker; the fields show the paths the converter holds afterwards.
class BinConverterWindow final : public ToolWindow {
  Q_OBJECT

 public:
  BinConverterWindow(firmware::BinConverter& tool, ToolWindowSetup setup, QWidget* parent);

  FileField& afi() { return *afi_; }
  FileField& bin() { return *bin_; }
  QPushButton& convert() { return *convert_; }

 private:
  // Runs `step` on the converter, then shows the paths it holds.
  void Act(std::function<void(firmware::BinConverter&)> step);
  void Refresh() override;
  void ShowBusy(bool busy) override;

  firmware::BinConverter& tool_;
  firmware::ConverterPaths paths_;
  FileField* afi_;
  FileField* bin_;
  QPushButton* convert_;
};

}  // namespace cw::gui
