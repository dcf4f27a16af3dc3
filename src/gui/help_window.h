#pragma once

#include <QDialog>
#include <filesystem>

class QTextBrowser;

namespace cw::gui {

// The user guide in a window of its own, Markdown with its pictures, when the application note
// is not installed. Links to other pages of the guide open in it; links out go to the desktop.
class HelpWindow final : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 860;
  static constexpr int kHeight = 640;
  HelpWindow(const std::filesystem::path& guide, QWidget* parent);
  QTextBrowser& browser() { return *browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace cw::gui
