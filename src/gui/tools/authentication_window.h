#pragma once

#include <array>
#include <string>

#include "app/authentication_tool.h"
#include "gui/tools/tool_window.h"

class QLineEdit;
class QPushButton;

namespace cw::gui {

// The fields of the SHA1 AUTHENTICATION window, section by section.
enum class AuthField {
  kCalculatorKey,
  kCalculatorChallenge,
  kCalculatorDigest,
  kAuthenticationKey,
  kAuthenticationChallenge,
  kAuthenticationDigest,
  kChangeKey,
  kChangeChallenge,
  kChangeDigest,
};

enum class AuthButton { kShowDigest, kNewChallenge, kAuthenticate, kChangeKey };

// "SHA1 AUTHENTICATION": the calculator (Show Digest, New Challenge), the authentication by the
// gauge and the key change. The fields are the window's own: a button hands the typed texts to
// the tool and shows what it gives back. Authenticate and Change Key talk to the gauge and run on
// the gauge worker, with the digest they expect shown before the gauge has answered; the
// calculator's buttons are host work and run at once. The scan rests while the window is open.
class AuthenticationWindow final : public ToolWindow {
  Q_OBJECT

 public:
  AuthenticationWindow(app::AuthenticationTool& tool, ToolWindowSetup setup, QWidget* parent);

  QLineEdit& field(AuthField field) { return *edits_[static_cast<std::size_t>(field)]; }
  QPushButton& button(AuthButton button) { return *buttons_[static_cast<std::size_t>(button)]; }

 private:
  QWidget* MakeSection(std::string_view title, std::initializer_list<AuthField> fields,
                       std::initializer_list<AuthButton> buttons);
  void MakeButton(AuthButton button, std::string_view label, std::function<void()> action);
  std::string Text(AuthField field);
  void SetText(AuthField field, std::string_view text);
  void Refresh() override {}
  void ShowBusy(bool busy) override;

  app::AuthenticationTool& tool_;
  std::array<QLineEdit*, 9> edits_{};
  std::array<QPushButton*, 4> buttons_{};
};

}  // namespace cw::gui
