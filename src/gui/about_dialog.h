#pragma once

#include <QDialog>

class QLabel;

namespace cw::gui {

// "About KT580714pc": the icon, the product text and the version lines read when it opened.
class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(const QString& version_text, QWidget* parent = nullptr);
  QString version_text() const;

 private:
  QLabel* version_;
};

}  // namespace cw::gui
