#pragma once

#include <QWidget>
#include <array>
#include <vector>

#include "app/smb_access_session.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace cw::gui {

class GaugeWorker;

// The SMB access page ("Pro"): five forms for single SMBus transactions with a typed command
// code. A button hands the fields to app::SmbAccessSession on the worker and shows the fields as
// the form left them; the core says what went wrong (a PEC mismatch, bad block data, a protected
// subclass).
class SmbAccessPage final : public QWidget {
  Q_OBJECT

 public:
  enum Form { kReadWord = 0, kWriteWord, kCombinedWord, kReadBlock, kWriteBlock };

  SmbAccessPage(app::SmbAccessSession& session, GaugeWorker& worker, QWidget* parent = nullptr);

  QLineEdit& command(Form form) { return *commands_[form]; }
  QPushButton& button(Form form) { return *buttons_[form]; }
  QLineEdit& word_result() { return *word_result_; }
  QLineEdit& word() { return *word_; }
  QLineEdit& word1() { return *word1_; }
  QLineEdit& word2() { return *word2_; }
  QPlainTextEdit& block_result() { return *block_result_; }
  QPlainTextEdit& block_data() { return *block_data_; }

 private:
  struct Binding;
  QWidget* MakeForm(Form form);
  std::vector<Binding> Bindings() const;
  app::SmbAccessFields Fields() const;
  void Show(const app::SmbAccessFields& sent, const app::SmbAccessFields& now);
  void Press(Form form);

  app::SmbAccessSession& session_;
  GaugeWorker& worker_;
  std::array<QLineEdit*, 5> commands_{};
  std::array<QPushButton*, 5> buttons_{};
  QLineEdit* word_result_ = nullptr;
  QLineEdit* word_ = nullptr;
  QLineEdit* word1_ = nullptr;
  QLineEdit* word2_ = nullptr;
  QPlainTextEdit* block_result_ = nullptr;
  QPlainTextEdit* block_data_ = nullptr;
};

}  // namespace cw::gui
