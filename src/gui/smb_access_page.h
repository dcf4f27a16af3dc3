#pragma once

#include <QWidget>
#include <array>
#include <vector>

#include "presentation/smb_access_form.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace cw::gui {

class GaugeWorker;

// The SMB access page ("Pro"): five forms for single SMBus transactions with a typed command
// code. A button hands the fields to the form on the worker and shows the fields as the form left
// them; the core says what went wrong (a PEC mismatch, bad block data, a protected subclass).
class SmbAccessPage final : public QWidget {
  Q_OBJECT

 public:
  enum Form { kReadWord = 0, kWriteWord, kCombinedWord, kReadBlock, kWriteBlock };

  SmbAccessPage(app::SmbAccess& smb, common::MessageSink& messages, GaugeWorker& worker,
                QWidget* parent = nullptr);

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
  presentation::SmbAccessFields Fields() const;
  void Show(const presentation::SmbAccessFields& sent, const presentation::SmbAccessFields& now);
  void Press(Form form);

  app::SmbAccess& smb_;
  common::MessageSink& messages_;
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
