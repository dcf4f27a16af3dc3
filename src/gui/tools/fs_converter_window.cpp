#include "gui/tools/fs_converter_window.h"

#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/messages.h"
#include "gui/qt_text.h"
#include "gui/tools/file_field.h"

namespace cw::gui {
namespace {

using firmware::ScriptGroup;

constexpr FileDialogRequest kAfiDialog{messages::kLoadAfiTitle, messages::kLoadAfiFilter};
constexpr FileDialogRequest kBinDialog{messages::kChooseBinTitle, messages::kChooseBinFilter};

struct GroupText {
  std::string_view title;
  bool afi;
  bool bin;
};
constexpr std::array<GroupText, 3> kGroups{{
    {"Convert AFI File into FS File", true, false},
    {"Convert Bin File into FS File", false, true},
    {"Convert AFI File and Bin File into FS File", true, true},
}};

}  // namespace

FsConverterWindow::FsConverterWindow(firmware::FsConverter& tool, ToolWindowSetup setup,
                                     QWidget* parent)
    : ToolWindow("Convert FS File", std::move(setup), parent), tool_(tool) {
  auto* layout = new QVBoxLayout(this);
  for (ScriptGroup group : {ScriptGroup::kAfi, ScriptGroup::kBin, ScriptGroup::kMerged}) {
    layout->addWidget(MakeGroup(group));
  }
  Refresh();
}

QWidget* FsConverterWindow::MakeGroup(ScriptGroup group) {
  const GroupText& text = kGroups[Index(group)];
  Group& fields = fields_[Index(group)];
  auto* box = new QGroupBox(Q(text.title), this);
  auto* layout = new QVBoxLayout(box);
  // A file of the group: what the window does with the path chosen.
  using Take = void (*)(firmware::FsConverter&, ScriptGroup, const std::filesystem::path&);
  const auto add_field = [&](std::string_view label, const FileDialogRequest& dialog, Take take) {
    auto* field =
        new FileField(label, messages::kBrowseButton, dialog, FileField::LabelPlace::kAbove, box);
    connect(field, &FileField::chosen, this, [this, group, take](const QString& path) {
      Act([group, take, path = S(path)](firmware::FsConverter& tool) { take(tool, group, path); });
    });
    layout->addWidget(field);
    return field;
  };
  if (text.afi) {
    fields.afi = add_field("Please select a AFI File", kAfiDialog,
                           [](auto& tool, auto group, auto& path) { tool.SetAfi(group, path); });
  }
  if (text.bin) {
    fields.bin = add_field("Please select a Firmware Bin File", kBinDialog,
                           [](auto& tool, auto group, auto& path) { tool.ChooseBin(group, path); });
  }
  fields.convert = new QPushButton(Q(messages::kConvertButton), box);
  connect(fields.convert, &QPushButton::clicked, this,
          [this, group] { Act([group](firmware::FsConverter& tool) { tool.Convert(group); }); });
  layout->addWidget(fields.convert, 0, Qt::AlignRight);
  return box;
}

void FsConverterWindow::Act(std::function<void(firmware::FsConverter&)> step) {
  Run<Paths>(
      [&tool = tool_, step = std::move(step)] {
        step(tool);
        return Paths{tool.paths(ScriptGroup::kAfi), tool.paths(ScriptGroup::kBin),
                     tool.paths(ScriptGroup::kMerged)};
      },
      [this](const Paths& paths) {
        paths_ = paths;
        Refresh();
      });
}

void FsConverterWindow::Refresh() {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].afi != nullptr) fields_[i].afi->ShowPath(Q(paths_[i].afi.string()));
    if (fields_[i].bin != nullptr) fields_[i].bin->ShowPath(Q(paths_[i].bin.string()));
  }
}

void FsConverterWindow::ShowBusy(bool busy) {
  for (Group& group : fields_) {
    for (FileField* field : {group.afi, group.bin}) {
      if (field != nullptr) field->button().setEnabled(!busy);
    }
    group.convert->setEnabled(!busy);
  }
}

}  // namespace cw::gui
