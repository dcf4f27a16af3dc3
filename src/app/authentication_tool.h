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

// The calculator: the digest of a key (32 hex digits) and a challenge (40), as hex text. A field
// that is no such text is a usage error with the field's message.
common::Expected<std::string> CalculatorDigest(std::string_view key_text,
                                               std::string_view challenge_text);
// The challenge a key change sends: 20 zero bytes, as hex text.
std::string KeyChangeChallengeText();

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

// The SHA-1 authentication window's work with the gauge. While open it keeps the scan paused so
// that its unlocked transactions have the bus to themselves. Keys and challenges are hex text,
// checked whole: a field that is not is refused with its message and nothing is sent.
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

  // The calculator's Show Digest: the digest, or the refused field's message.
  common::OutcomeOf<std::string> ShowDigest(std::string_view key, std::string_view challenge);
  // The next challenge of New Challenge, as hex text.
  std::string NewChallenge();
  // Done when the gauge's answer to `challenge` matched the digest under `key`; the detail is
  // that digest (empty when a field was refused).
  common::OutcomeOf<std::string> Authenticate(std::string_view key, std::string_view challenge);
  // Stores `new_key` in the gauge. Done when the gauge's answer matched the digest of the new
  // key, or, when that answer was lost, when a challenge shows the gauge now answers with the
  // new key; the detail is the digest expected (empty when the key was refused).
  common::OutcomeOf<std::string> ChangeKey(std::string_view new_key);
  // The window closes: the scan continues, the main window is unlocked.
  void Close();

 private:
  common::Verdict CompareAnswer(const link::Digest& answer, const AuthDigestBytes& expected,
                                std::string_view success, std::string_view failure,
                                common::OutcomeBuilder& outcome);
  common::Verdict ConfirmKeyAfterLostAnswer(const common::Bytes& key,
                                            common::OutcomeBuilder& outcome);

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  common::ScanPause& scan_;
  ChallengeGenerator challenges_;
  bool open_ = true;
};

}  // namespace cw::app
