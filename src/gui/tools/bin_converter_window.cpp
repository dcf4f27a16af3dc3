#include "gui/tools/bin_converter_window.h"

#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/messages.h"
#include "gui/qt_text.h"
#include "gui/tools/file_field.h"

namespace cw::gui {
namespace {

constexpr FileDialogRequest kAfiDialog{messages::kLoadAfiTitle, messages::kLoadAfiFilter};
constexpr FileDialogRequest kBinDialog{messages::kChooseBinTitle, messages::kChooseBinFilter};

}  // namespace

BinConverterWindow::BinConverterWindow(firmware::BinConverter& tool, ToolWindowSetup setup,
                                       QWidget* parent)
    : ToolWindow("Convert Bin File", std::move(setup), parent), tool_(tool) {
  auto* group = new QGroupBox(Q("Convert AFI File and Bin File into New Bin File"), this);
  afi_ = new FileField("Please Load the AFI File", messages::kBrowseButton, kAfiDialog,
                       FileField::LabelPlace::kAbove, group);
  bin_ = new FileField("Please Load the Bin File", messages::kBrowseButton, kBinDialog,
                       FileField::LabelPlace::kAbove, group);
  convert_ = new QPushButton(Q(messages::kConvertButton), group);
  auto* fields = new QVBoxLayout(group);
  fields->addWidget(afi_);
  fields->addWidget(bin_);
  fields->addWidget(convert_, 0, Qt::AlignRight);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);

  connect(afi_, &FileField::chosen, this, [this](const QString& path) {
    Act([path = S(path)](firmware::BinConverter& tool) { tool.SetAfi(path); });
  });
  connect(bin_, &FileField::chosen, this, [this](const QString& path) {
    Act([path = S(path)](firmware::BinConverter& tool) { tool.ChooseBin(path); });
  });
  connect(convert_, &QPushButton::clicked, this,
          [this] { Act([](firmware::BinConverter& tool) { tool.Convert(); }); });
  Refresh();
}

void BinConverterWindow::Act(std::function<void(firmware::BinConverter&)> step) {
  Run<firmware::ConverterPaths>(
      [&tool = tool_, step = std::move(step)] {
        step(tool);
        return tool.paths();
      },
      [this](const firmware::ConverterPaths& paths) {
        paths_ = paths;
        Refresh();
      });
}

void BinConverterWindow::Refresh() {
  afi_->ShowPath(Q(paths_.afi.string()));
  bin_->ShowPath(Q(paths_.bin.string()));
}

void BinConverterWindow::ShowBusy(bool busy) {
  for (QPushButton* button : {&afi_->button(), &bin_->button(), convert_}) {
    button->setEnabled(!busy);
  }
}

}  // namespace cw::gui
