#pragma once

#include <array>

#include "firmware/converters.h"
#include "gui/tools/tool_window.h"

class QPushButton;

namespace cw::gui {

class FileField;

// "Convert FS File": three groups, each with its files and a Convert button: the script that
// writes an .afi into a pack, the update script of an image, and the update script of an image
// with an .afi's constants merged in. Choosing a bin file and converting read and write files, so
// they run on the gauge worker; the fields show the paths the converter holds afterwards.
class FsConverterWindow final : public ToolWindow {
  Q_OBJECT

 public:
  FsConverterWindow(firmware::FsConverter& tool, ToolWindowSetup setup, QWidget* parent);

  // Null for the group without that file.
  FileField* afi(firmware::ScriptGroup group) { return fields_[Index(group)].afi; }
  FileField* bin(firmware::ScriptGroup group) { return fields_[Index(group)].bin; }
  QPushButton& convert(firmware::ScriptGroup group) { return *fields_[Index(group)].convert; }

 private:
  using Paths = std::array<firmware::ConverterPaths, 3>;
  struct Group {
    FileField* afi = nullptr;
    FileField* bin = nullptr;
    QPushButton* convert = nullptr;
  };

  static std::size_t Index(firmware::ScriptGroup group) { return static_cast<std::size_t>(group); }
  QWidget* MakeGroup(firmware::ScriptGroup group);
  // Runs `step` on the converter, then shows the paths it holds.
  void Act(std::function<void(firmware::FsConverter&)> step);
  void Refresh() override;
  void ShowBusy(bool busy) override;

  firmware::FsConverter& tool_;
  std::array<Group, 3> fields_;
  Paths paths_;
};

}  // namespace cw::gui
