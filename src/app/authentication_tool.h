#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "app/auth_digest.h"
#include "common/front_end.h"
#include "link/gauge_link.h"

namespace cw::app {

inline constexpr const char* kDefaultAuthKeyText = "5A3C96E1B04F7D2288E1C35A9F06B47D";
inline constexpr const char* kDefaultChallengeText = "A5C3E1F00F1E2D3C4B5A69788796A5B4C3D2E1F0";

// The text fields of the SHA-1 authentication window.
struct AuthenticationFields {
  std::string calculator_key = kDefaultAuthKeyText;
  std::string calculator_challenge = kDefaultChallengeText;
  std::string calculator_digest;
  std::string authentication_key = kDefaultAuthKeyText;
  std::string authentication_challenge = kDefaultChallengeText;
  std::string authentication_digest;
  std::string change_key = kDefaultAuthKeyText;
  std::string change_challenge;
  std::string change_digest;
};

// The calculator: the digest text of a typed key and challenge, or nullopt after the field's
// message.
std::optional<std::string> CalculatorDigest(const std::string& key_text,
                                            const std::string& challenge_text,
                                            common::MessageSink& messages);

// Challenges drawn by New Challenge. The generator is the one the tool has always used (the
// C runtime's linear congruential generator on its home platform), kept here so that two
// windows never share state.
class ChallengeGenerator {
 public:
  explicit ChallengeGenerator(std::function<std::int64_t()> seconds_now);
  // The next challenge: fresh in a new second; in the same second, derived from the last one.
  std::array<std::uint8_t, kChallengeBytes> Next();

 private:
  int Draw();
  void Fresh();

  std::function<std::int64_t()> seconds_now_;
  std::uint32_t seed_ = 1;
  std::array<std::uint8_t, kChallengeBytes> bytes_{};
  std::int64_t last_second_ = -1;
  std::uint16_t repeats_ = 0;
};

// The SHA-1 authentication window's rules. While open it keeps the scan paused so that its
// unlocked transactions have the bus to themselves. The front end types into fields() and
// presses the buttons; every button tells the listeners that the fields changed.
class AuthenticationTool {
 public:
  AuthenticationTool(
      link::GaugeLink& link, common::MessageSink& messages, common::ScanPause& scan,
      std::function<std::int64_t()> seconds_now = [] {
        return static_cast<std::int64_t>(std::time(nullptr));
      });
  ~AuthenticationTool();
  AuthenticationTool(const AuthenticationTool&) = delete;
  AuthenticationTool& operator=(const AuthenticationTool&) = delete;

  AuthenticationFields& fields() { return fields_; }

  common::Outcome ShowDigest();
  void NewChallenge();
  // Done when the gauge's answer matched the digest.
  common::Outcome Authenticate();
  // Done when the gauge's answer matched the digest of the new key, or, when that answer was
  // lost, when a challenge shows the gauge now answers with the new key.
  common::Outcome ChangeKey();
  // The window closes: the scan continues, the main window is unlocked.
  void Close();

  common::Observers<>& changes() { return changes_; }

 private:
  common::Outcome CompareAnswer(const link::Digest& answer, const AuthDigestBytes& expected,
                                std::string_view success, std::string_view failure,
                                common::OutcomeBuilder& outcome);
  common::Outcome ConfirmKeyAfterLostAnswer(const common::Bytes& key,
                                            common::OutcomeBuilder& outcome);

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  common::ScanPause& scan_;
  ChallengeGenerator challenges_;
  AuthenticationFields fields_;
  bool open_ = true;
  common::Observers<> changes_;
};

}  // namespace cw::app
