#pragma once

#include <QDialog>

class QLineEdit;

namespace cw::gui {

// "Unseal Device": the key for UNSEAL or UNSEAL TO FA, shown with the stored one; OK hands the
// typed text on (the panel stores and sends it).
class UnsealDialog final : public QDialog {
  Q_OBJECT

 public:
  UnsealDialog(const QString& key_text, QWidget* parent = nullptr);
  QString key_text() const;
  QLineEdit& key_edit() { return *key_; }

 private:
  QLineEdit* key_;
};

}  // namespace cw::gui
