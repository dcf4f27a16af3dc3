#pragma once

#include <QString>
#include <string_view>

class QWidget;

namespace cw::gui {

// One file dialog of the tool windows: its title and filter and, for a save dialog, the
// extension a name typed without one gets.
struct FileDialogRequest {
  std::string_view title;
  std::string_view filter;
  bool save = false;
  std::string_view default_suffix;
};

// Saving a chart as a picture, the same dialog (and remembered folder) for the live chart and
// the data log viewer.
inline constexpr FileDialogRequest kPngDialog = {"Export Chart Picture", "PNG Pictures (*.png)",
                                                 true, "png"};

// Runs the dialog in the folder it was last left in and remembers the folder of the file chosen,
// per dialog and across runs, in the product's settings. Empty when cancelled.
QString ChooseFile(QWidget* parent, const FileDialogRequest& request);

// Where the dialog titled `title` opens: the folder of its last choice, or empty before the first.
QString RememberedFolder(std::string_view title);
// Remembers the folder of `chosen` for the dialog titled `title` (nothing when it is empty).
void RememberFolder(std::string_view title, const QString& chosen);

}  // namespace cw::gui
