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

constexpr int kKeyDigits = 2 * static_cast<int>(app::kAuthKeyBytes);
constexpr int kChallengeDigits = 2 * static_cast<int>(app::kChallengeBytes);

struct FieldRow {
  std::string_view label;
  int max_length;
  bool typed;  // false: the tool fills it in
};

// In the order of AuthField.
const std::array<FieldRow, 9> kFieldRows{{
    {messages::kKeyLabel, kKeyDigits, true},
    {messages::kChallengeLabel, kChallengeDigits, true},
    {messages::kDigestLabel, kChallengeDigits, false},
    {messages::kKeyLabel, kKeyDigits, true},
    {messages::kChallengeLabel, kChallengeDigits, true},
    {messages::kDigestLabel, kChallengeDigits, false},
    {"New Key:", kKeyDigits, true},
    {messages::kChallengeLabel, kChallengeDigits, false},
    {messages::kDigestLabel, kChallengeDigits, false},
}};

const FieldRow& Row(AuthField field) { return kFieldRows[static_cast<std::size_t>(field)]; }

}  // namespace

AuthenticationWindow::AuthenticationWindow(app::AuthenticationTool& tool, ToolWindowSetup setup,
                                           QWidget* parent)
    : ToolWindow("SHA1 AUTHENTICATION", std::move(setup), parent), tool_(tool) {
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
  // The calculator's buttons are host work and show their result at once.
  MakeButton(AuthButton::kShowDigest, "Show Digest", [this] {
    const auto shown =
        tool_.ShowDigest(Text(AuthField::kCalculatorKey), Text(AuthField::kCalculatorChallenge));
    if (shown) SetText(AuthField::kCalculatorDigest, shown.detail);
  });
  MakeButton(AuthButton::kNewChallenge, "New Challenge", [this] {
    const std::string challenge = tool_.NewChallenge();
    SetText(AuthField::kCalculatorChallenge, challenge);
    SetText(AuthField::kAuthenticationChallenge, challenge);
  });
  // The digest the gauge should answer shows before it has answered.
  MakeButton(AuthButton::kAuthenticate, "Authenticate", [this] {
    const std::string key = Text(AuthField::kAuthenticationKey);
    const std::string challenge = Text(AuthField::kAuthenticationChallenge);
    if (const auto digest = app::CalculatorDigest(key, challenge)) {
      SetText(AuthField::kAuthenticationDigest, *digest);
    }
    Run<common::Outcome>(
        [&tool = tool_, key, challenge] { return tool.Authenticate(key, challenge); });
  });
  MakeButton(AuthButton::kChangeKey, "Change Key", [this] {
    const std::string key = Text(AuthField::kChangeKey);
    const std::string challenge = app::KeyChangeChallengeText();
    if (const auto digest = app::CalculatorDigest(key, challenge)) {
      SetText(AuthField::kChangeChallenge, challenge);
      SetText(AuthField::kChangeDigest, *digest);
    }
    Run<common::Outcome>([&tool = tool_, key] { return tool.ChangeKey(key); });
  });

  // Enter in a field shows the digest: host work, nothing reaches the gauge.
  button(AuthButton::kShowDigest).setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeSection(
      "SHA1 Calculator",
      {AuthField::kCalculatorKey, AuthField::kCalculatorChallenge, AuthField::kCalculatorDigest},
      {AuthButton::kShowDigest, AuthButton::kNewChallenge}));
  layout->addWidget(MakeSection("Authentication by KT580714",
                                {AuthField::kAuthenticationKey, AuthField::kAuthenticationChallenge,
                                 AuthField::kAuthenticationDigest},
                                {AuthButton::kAuthenticate}));
  layout->addWidget(
      MakeSection("Change SHA1 Key",
                  {AuthField::kChangeKey, AuthField::kChangeChallenge, AuthField::kChangeDigest},
                  {AuthButton::kChangeKey}));

  for (AuthField typed :
       {AuthField::kCalculatorKey, AuthField::kAuthenticationKey, AuthField::kChangeKey}) {
    SetText(typed, app::kDefaultAuthKeyText);
  }
  SetText(AuthField::kCalculatorChallenge, app::kDefaultChallengeText);
  SetText(AuthField::kAuthenticationChallenge, app::kDefaultChallengeText);
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

std::string AuthenticationWindow::Text(AuthField field) { return S(this->field(field).text()); }

void AuthenticationWindow::SetText(AuthField field, std::string_view text) {
  this->field(field).setText(Q(text));
}

void AuthenticationWindow::ShowBusy(bool busy) {
  for (QPushButton* button : buttons_) button->setEnabled(!busy);
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    edits_[i]->setReadOnly(busy || !kFieldRows[i].typed);
  }
}

}  // namespace cw::gui
