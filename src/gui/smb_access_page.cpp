#include "gui/smb_access_page.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/gauge_worker.h"
#include "gui/messages.h"
#include "gui/qt_text.h"
#include "presentation/smb_result_tip.h"

namespace cw::gui {
namespace {

constexpr int kCommandDigits = 2;
constexpr int kWordDigits = 4;
constexpr int kBlockLines = 4;

struct FormText {
  std::string_view title;
  std::string_view button;
};
constexpr std::array<FormText, 5> kForms = {{
    {"Read SMB Word", messages::kReadButton},
    {"Write SMB Word", messages::kWriteButton},
    {"Write SMB Combined Word", messages::kWriteButton},
    {"Read SMB Block", messages::kReadButton},
    {"Write SMB Block", messages::kWriteButton},
}};

QLineEdit* HexLine(int digits, QWidget* parent) {
  auto* line = new QLineEdit(parent);
  line->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  line->setMaxLength(digits);
  line->setFixedWidth(line->fontMetrics().horizontalAdvance('0') * (digits + 4));
  return line;
}

QPlainTextEdit* HexBlock(bool read_only, QWidget* parent) {
  auto* text = new QPlainTextEdit(parent);
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text->setReadOnly(read_only);
  text->setFixedHeight(text->fontMetrics().lineSpacing() * kBlockLines + 10);
  return text;
}

// The page's forms are in the form logic's order.
static_assert(static_cast<int>(presentation::SmbForm::kReadWord) == SmbAccessPage::kReadWord &&
              static_cast<int>(presentation::SmbForm::kWriteBlock) == SmbAccessPage::kWriteBlock);

}  // namespace

// One text field of a form and where the core keeps it.
struct SmbAccessPage::Binding {
  std::string presentation::SmbAccessFields::*member;
  QLineEdit* line;
  QPlainTextEdit* block;
};

SmbAccessPage::SmbAccessPage(app::SmbAccess& smb, common::MessageSink& messages,
                             GaugeWorker& worker, QWidget* parent)
    : QWidget(parent), smb_(smb), messages_(messages), worker_(worker) {
  auto* words = new QVBoxLayout;
  auto* blocks = new QVBoxLayout;
  for (Form form : {kReadWord, kWriteWord, kCombinedWord}) words->addWidget(MakeForm(form));
  for (Form form : {kReadBlock, kWriteBlock}) blocks->addWidget(MakeForm(form));
  words->addStretch(1);
  blocks->addStretch(1);
  auto* columns = new QHBoxLayout(this);
  columns->setContentsMargins(8, 8, 8, 8);
  columns->setSpacing(10);
  columns->addLayout(words);
  columns->addLayout(blocks, 1);
}

QWidget* SmbAccessPage::MakeForm(Form form) {
  auto* group = new QGroupBox(Q(kForms[form].title), this);
  auto* fields = new QFormLayout;
  commands_[form] = HexLine(kCommandDigits, group);
  commands_[form]->setObjectName(QString("smb_command_%1").arg(form));
  fields->addRow(Q("SMB Command"), commands_[form]);
  switch (form) {
    case kReadWord:
      word_result_ = HexLine(kWordDigits, group);
      word_result_->setReadOnly(true);
      fields->addRow(Q(messages::kResultHex), word_result_);
      break;
    case kWriteWord:
      word_ = HexLine(kWordDigits, group);
      fields->addRow(Q("Word (hex)"), word_);
      break;
    case kCombinedWord:
      word1_ = HexLine(kWordDigits, group);
      word2_ = HexLine(kWordDigits, group);
      fields->addRow(Q("Word1 (hex)"), word1_);
      fields->addRow(Q("Word2 (hex)"), word2_);
      break;
    case kReadBlock:
      block_result_ = HexBlock(true, group);
      fields->addRow(Q(messages::kResultHex), block_result_);
      break;
    case kWriteBlock:
      block_data_ = HexBlock(false, group);
      fields->addRow(Q("Block Data (hex)"), block_data_);
      break;
  }
  buttons_[form] = new QPushButton(Q(kForms[form].button), group);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(buttons_[form]);
  auto* column = new QVBoxLayout(group);
  column->addLayout(fields);
  column->addLayout(buttons);
  connect(buttons_[form], &QPushButton::clicked, this, [this, form] { Press(form); });
  return group;
}

std::vector<SmbAccessPage::Binding> SmbAccessPage::Bindings() const {
  using F = presentation::SmbAccessFields;
  return {
      {&F::read_word_command, commands_[kReadWord], nullptr},
      {&F::read_word_result, word_result_, nullptr},
      {&F::write_word_command, commands_[kWriteWord], nullptr},
      {&F::write_word, word_, nullptr},
      {&F::combined_command, commands_[kCombinedWord], nullptr},
      {&F::combined_word1, word1_, nullptr},
      {&F::combined_word2, word2_, nullptr},
      {&F::read_block_command, commands_[kReadBlock], nullptr},
      {&F::read_block_result, nullptr, block_result_},
      {&F::write_block_command, commands_[kWriteBlock], nullptr},
      {&F::write_block_data, nullptr, block_data_},
  };
}

presentation::SmbAccessFields SmbAccessPage::Fields() const {
  presentation::SmbAccessFields fields;
  for (const Binding& binding : Bindings()) {
    fields.*binding.member =
        S(binding.line != nullptr ? binding.line->text() : binding.block->toPlainText());
  }
  return fields;
}

void SmbAccessPage::Show(const presentation::SmbAccessFields& sent,
                         const presentation::SmbAccessFields& now) {
  // Only what the form changed: the user may have typed in another form meanwhile.
  for (const Binding& binding : Bindings()) {
    if (now.*binding.member == sent.*binding.member) continue;
    if (binding.line != nullptr) {
      binding.line->setText(Q(now.*binding.member));
    } else {
      binding.block->setPlainText(Q(now.*binding.member));
    }
  }
  word_result_->setToolTip(Q(presentation::WordResultTip(now.read_word_result)));
  block_result_->setToolTip(Q(presentation::BlockResultTip(now.read_block_result)));
}

void SmbAccessPage::Press(Form form) {
  const presentation::SmbAccessFields sent = Fields();
  buttons_[form]->setEnabled(false);
  worker_.Run<presentation::SmbFormOutcome>(
      this,
      [&smb = smb_, &messages = messages_, sent, form] {
        return presentation::SubmitSmbForm(smb, static_cast<presentation::SmbForm>(form), sent,
                                           messages);
      },
      [this, sent, form](const presentation::SmbFormOutcome& pressed) {
        Show(sent, pressed.detail);
        buttons_[form]->setEnabled(true);
      });
}

}  // namespace cw::gui
