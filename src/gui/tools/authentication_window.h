#pragma once

#include <array>
#include <mutex>

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
// gauge and the key change. The texts typed go to the tool before each button; what the tool
// fills in comes back through its changes, so a digest shows before the gauge has answered.
// Authenticate and Change Key talk to the gauge and run on the gauge worker; the calculator's
// buttons are host work and run at once. The scan rests while the window is open.
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
  // The typed texts, into the tool.
  void Collect();
  void Refresh() override;
  void ShowBusy(bool busy) override;

  app::AuthenticationTool& tool_;
  std::array<QLineEdit*, 9> edits_{};
  std::array<QPushButton*, 4> buttons_{};
  // The fields as the tool last announced them, taken on the announcing thread.
  std::mutex announced_mutex_;
  app::AuthenticationFields announced_;
  common::Subscription subscription_;
};

}  // namespace cw::gui
