#include "gui/tools/authentication_window.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

using Fields = app::AuthenticationFields;

constexpr int kKeyDigits = 2 * static_cast<int>(app::kAuthKeyBytes);
constexpr int kChallengeDigits = 2 * static_cast<int>(app::kChallengeBytes);

struct FieldRow {
  std::string Fields::*member;
  std::string_view label;
  int max_length;
  bool typed;  // false: the tool fills it in
};

// In the order of AuthField.
const std::array<FieldRow, 9> kFieldRows{{
    {&Fields::calculator_key, messages::kKeyLabel, kKeyDigits, true},
    {&Fields::calculator_challenge, messages::kChallengeLabel, kChallengeDigits, true},
    {&Fields::calculator_digest, messages::kDigestLabel, kChallengeDigits, false},
    {&Fields::authentication_key, messages::kKeyLabel, kKeyDigits, true},
    {&Fields::authentication_challenge, messages::kChallengeLabel, kChallengeDigits, true},
    {&Fields::authentication_digest, messages::kDigestLabel, kChallengeDigits, false},
    {&Fields::change_key, messages::kNewKeyLabel, kKeyDigits, true},
    {&Fields::change_challenge, messages::kChallengeLabel, kChallengeDigits, false},
    {&Fields::change_digest, messages::kDigestLabel, kChallengeDigits, false},
}};

const FieldRow& Row(AuthField field) { return kFieldRows[static_cast<std::size_t>(field)]; }

}  // namespace

AuthenticationWindow::AuthenticationWindow(app::AuthenticationTool& tool, ToolWindowSetup setup,
                                           QWidget* parent)
    : ToolWindow(messages::kAuthenticationTitle, std::move(setup), parent), tool_(tool) {
  const QFont hex = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    edits_[i] = new QLineEdit(this);
    edits_[i]->setFont(hex);
    edits_[i]->setMaxLength(kFieldRows[i].max_length);
    edits_[i]->setReadOnly(!kFieldRows[i].typed);
    // Room for a whole challenge or digest, with the field's own margins.
    edits_[i]->setMinimumWidth(
        edits_[i]->fontMetrics().horizontalAdvance(QString(kChallengeDigits + 3, '0')));
  }
  // The calculator's buttons show their result at once: a press that follows at once must
  // not send the fields as they were.
  MakeButton(AuthButton::kShowDigest, messages::kShowDigestButton, [this] {
    Collect();
    tool_.ShowDigest();
    Refresh();
  });
  MakeButton(AuthButton::kNewChallenge, messages::kNewChallengeButton, [this] {
    Collect();
    tool_.NewChallenge();
    Refresh();
  });
  const auto on_gauge = [this](common::Outcome (app::AuthenticationTool::*operation)()) {
    Collect();
    Run<common::Outcome>([&tool = tool_, operation] { return (tool.*operation)(); },
                         [this](const common::Outcome&) { Refresh(); });
  };
  MakeButton(AuthButton::kAuthenticate, messages::kAuthenticateButton,
             [on_gauge] { on_gauge(&app::AuthenticationTool::Authenticate); });
  MakeButton(AuthButton::kChangeKey, messages::kChangeKeyButton,
             [on_gauge] { on_gauge(&app::AuthenticationTool::ChangeKey); });

  // Enter in a field shows the digest: host work, nothing reaches the gauge.
  button(AuthButton::kShowDigest).setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeSection(
      messages::kCalculatorGroup,
      {AuthField::kCalculatorKey, AuthField::kCalculatorChallenge, AuthField::kCalculatorDigest},
      {AuthButton::kShowDigest, AuthButton::kNewChallenge}));
  layout->addWidget(MakeSection(messages::kAuthenticateGroup,
                                {AuthField::kAuthenticationKey, AuthField::kAuthenticationChallenge,
                                 AuthField::kAuthenticationDigest},
                                {AuthButton::kAuthenticate}));
  layout->addWidget(
      MakeSection(messages::kChangeKeyGroup,
                  {AuthField::kChangeKey, AuthField::kChangeChallenge, AuthField::kChangeDigest},
                  {AuthButton::kChangeKey}));

  announced_ = tool_.fields();
  subscription_ = tool_.changes().Subscribe([this] {
    {
      std::lock_guard lock(announced_mutex_);
      announced_ = tool_.fields();
    }
    PostRefresh();
  });
  Refresh();
}

void AuthenticationWindow::MakeButton(AuthButton button, std::string_view label,
                                      std::function<void()> action) {
  QPushButton*& made = buttons_[static_cast<std::size_t>(button)];
  made = new QPushButton(Q(label), this);
  connect(made, &QPushButton::clicked, this, std::move(action));
}

QWidget* AuthenticationWindow::MakeSection(std::string_view title,
                                           std::initializer_list<AuthField> fields,
                                           std::initializer_list<AuthButton> buttons) {
  auto* box = new QGroupBox(Q(title), this);
  auto* grid = new QGridLayout(box);
  int row = 0;
  for (AuthField field : fields) {
    grid->addWidget(new QLabel(Q(Row(field).label), box), row, 0);
    grid->addWidget(&this->field(field), row, 1);
    ++row;
  }
  auto* row_of_buttons = new QHBoxLayout;
  row_of_buttons->addStretch(1);
  for (AuthButton button : buttons) row_of_buttons->addWidget(&this->button(button));
  grid->addLayout(row_of_buttons, row, 0, 1, 2);
  return box;
}

void AuthenticationWindow::Collect() {
  Fields& fields = tool_.fields();
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    if (kFieldRows[i].typed) fields.*kFieldRows[i].member = S(edits_[i]->text());
  }
}

void AuthenticationWindow::Refresh() {
  Fields announced;
  {
    std::lock_guard lock(announced_mutex_);
    announced = announced_;
  }
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    const QString text = Q(announced.*kFieldRows[i].member);
    if (edits_[i]->text() != text) edits_[i]->setText(text);
  }
}

void AuthenticationWindow::ShowBusy(bool busy) {
  for (QPushButton* button : buttons_) button->setEnabled(!busy);
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    edits_[i]->setReadOnly(busy || !kFieldRows[i].typed);
  }
}

}  // namespace cw::gui
