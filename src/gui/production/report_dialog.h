#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace cw::gui {

class GaugeWorker;

// A pack's report as the records hold it: the same page `records report --html` writes, shown,
// and saved as HTML for the pack's file or a browser's print. The file is written on the
// window's worker.
class ReportDialog final : public QDialog {
  Q_OBJECT

 public:
  ReportDialog(GaugeWorker& worker, QString title, QString html, QWidget* parent = nullptr);

  QTextBrowser& page() { return *page_; }
  QPushButton& save_button() { return *save_; }
  // What the last save said.
  QLabel& note() { return *note_; }
  // Writes the page to `path`.
  void Save(const QString& path);

 private:
  GaugeWorker& worker_;
  QString html_;
  QTextBrowser* page_;
  QPushButton* save_;
  QLabel* note_;
};

}  // namespace cw::gui
