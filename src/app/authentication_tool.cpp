#include "app/authentication_tool.h"

#include <fmt/format.h>

#include <algorithm>

#include "app/messages.h"
#include "common/bytes.h"

namespace cw::app {
namespace {

constexpr common::Millis kCloseSettle{50};

std::uint8_t RotateLeft5(std::uint8_t value) {
  return static_cast<std::uint8_t>((value << 5) | (value >> 3));
}

common::Bytes Reversed(common::ByteView bytes) { return {bytes.rbegin(), bytes.rend()}; }

std::string DigestText(common::ByteView digest) { return common::ToHex(digest, ""); }

common::Expected<common::Bytes> ParseKey(std::string_view text) {
  auto key = common::ParseExactHexField(text, kAuthKeyBytes);
  if (!key) return common::Fail(common::ErrorKind::kUsage, std::string(messages::kInvalidKey));
  return std::move(*key);
}

struct KeyAndChallenge {
  common::Bytes key;
  common::Bytes challenge;
  AuthDigestBytes digest;
};

// The key field first, then the challenge field, then their digest.
common::Expected<KeyAndChallenge> ParseKeyAndChallenge(std::string_view key_text,
                                                       std::string_view challenge_text) {
  auto key = ParseKey(key_text);
  if (!key) return std::unexpected(key.error());
  auto challenge = common::ParseExactHexField(challenge_text, kChallengeBytes);
  if (!challenge) {
    return common::Fail(common::ErrorKind::kUsage,
                        std::string("Please enter a valid 20 bytes challenge!"));
  }
  const auto digest = AuthDigest(*key, *challenge);
  if (!digest) {
    return common::Fail(common::ErrorKind::kFailed, "the digest could not be computed");
  }
  return KeyAndChallenge{std::move(*key), std::move(*challenge), *digest};
}

}  // namespace

common::Expected<std::string> CalculatorDigest(std::string_view key_text,
                                               std::string_view challenge_text) {
  const auto parsed = ParseKeyAndChallenge(key_text, challenge_text);
  if (!parsed) return std::unexpected(parsed.error());
  return DigestText(parsed->digest);
}

std::string KeyChangeChallengeText() { return std::string(kChallengeBytes * 2, '0'); }

ChallengeGenerator::ChallengeGenerator(std::function<std::int64_t()> seconds_now)
    : seconds_now_(std::move(seconds_now)) {}

int ChallengeGenerator::Draw() {
  seed_ = seed_ * 214013u + 2531011u;
  return static_cast<int>((seed_ >> 16) & 0x7FFF);
}

void ChallengeGenerator::Fresh() {
  for (auto& byte : bytes_) byte = static_cast<std::uint8_t>(Draw() & 0xFF);
  repeats_ = 0;
}

std::array<std::uint8_t, kChallengeBytes> ChallengeGenerator::Next() {
  const std::int64_t now = seconds_now_();
  if (now != last_second_) {
    last_second_ = now;
    seed_ = static_cast<std::uint32_t>(now);
    seed_ = static_cast<std::uint32_t>(Draw());
    for (int discarded = 0; discarded < 4; ++discarded) Draw();
    Fresh();
    return bytes_;
  }
  ++repeats_;
  if (repeats_ > kChallengeBytes) {
    // The derivation reads byte[repeats - 1]; past the 20th press in one second there is no
    // such byte, so the generator simply moves on.
    Fresh();
    return bytes_;
  }
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    bytes_[i] = static_cast<std::uint8_t>(RotateLeft5(bytes_[i]) ^ bytes_[repeats_ - 1]);
  }
  return bytes_;
}

AuthenticationTool::AuthenticationTool(link::GaugeLink& link, common::MessageSink& messages,
                                       common::ScanPause& scan,
                                       std::function<std::int64_t()> seconds_now)
    : link_(link), messages_(messages), scan_(scan), challenges_(std::move(seconds_now)) {
  scan_.PauseScan();
}

AuthenticationTool::~AuthenticationTool() { Close(); }

void AuthenticationTool::Close() {
  if (!open_) return;
  open_ = false;
  scan_.ResumeScan();
  link_.clock().SleepFor(kCloseSettle);
}

common::OutcomeOf<std::string> AuthenticationTool::ShowDigest(std::string_view key,
                                                              std::string_view challenge) {
  common::OutcomeBuilder outcome(messages_);
  auto digest = CalculatorDigest(key, challenge);
  if (!digest) {
    outcome.Show(digest.error().message);
    return outcome.Finish(common::Verdict::kRefused, std::string());
  }
  return outcome.Finish(common::Verdict::kDone, std::move(*digest));
}

std::string AuthenticationTool::NewChallenge() { return common::ToHex(challenges_.Next(), ""); }

common::Verdict AuthenticationTool::CompareAnswer(const link::Digest& answer,
                                                  const AuthDigestBytes& expected,
                                                  std::string_view success,
                                                  std::string_view failure,
                                                  common::OutcomeBuilder& outcome) {
  // The gauge sends its digest least significant byte first.
  const common::Bytes answer_in_order = Reversed(answer);
  if (std::equal(answer_in_order.begin(), answer_in_order.end(), expected.begin())) {
    outcome.Show(success);
    return common::Verdict::kDone;
  }
  outcome.Show(fmt::format("{}{}", failure, DigestText(answer_in_order)));
  return common::Verdict::kFailed;
}

common::OutcomeOf<std::string> AuthenticationTool::Authenticate(std::string_view key,
                                                                std::string_view challenge) {
  common::OutcomeBuilder outcome(messages_);
  const auto parsed = ParseKeyAndChallenge(key, challenge);
  if (!parsed) {
    outcome.Show(parsed.error().message);
    return outcome.Finish(common::Verdict::kRefused, std::string());
  }
  std::string digest = DigestText(parsed->digest);
  const auto answer = link_.SendChallenge(Reversed(parsed->challenge));
  if (!answer) {
    outcome.Show(messages::kCommunicationError);
    return outcome.Finish(common::Verdict::kFailed, std::move(digest));
  }
  const common::Verdict compared =
      CompareAnswer(*answer, parsed->digest, messages::kAuthenticationSucceeded,
                    messages::kAuthenticationFailed, outcome);
  return outcome.Finish(compared, std::move(digest));
}

common::OutcomeOf<std::string> AuthenticationTool::ChangeKey(std::string_view new_key) {
  common::OutcomeBuilder outcome(messages_);
  const auto parsed = ParseKeyAndChallenge(new_key, KeyChangeChallengeText());
  if (!parsed) {
    outcome.Show(parsed.error().message);
    return outcome.Finish(common::Verdict::kRefused, std::string());
  }
  std::string digest = DigestText(parsed->digest);
  outcome.GaugeChanged();
  const auto answer = link_.ChangeAuthKey(Reversed(parsed->key));
  const common::Verdict changed =
      answer ? CompareAnswer(*answer, parsed->digest, messages::kKeyChangeSucceeded,
                             "Key change failed. KT580714 returned\n", outcome)
             : ConfirmKeyAfterLostAnswer(parsed->key, outcome);
  return outcome.Finish(changed, std::move(digest));
}

common::Verdict AuthenticationTool::ConfirmKeyAfterLostAnswer(const common::Bytes& key,
                                                              common::OutcomeBuilder& outcome) {
  // The key may have been stored before the answer was lost; a challenge under the new key tells.
  const auto challenge = common::ParseExactHexField(kDefaultChallengeText, kChallengeBytes);
  const auto expected = challenge ? AuthDigest(key, *challenge) : std::nullopt;
  const auto answer = expected ? link_.SendChallenge(Reversed(*challenge)) : std::nullopt;
  if (!answer) {
    outcome.Show(messages::kCommunicationError);
    outcome.Show(messages::kKeyChangeUnknown);
    return common::Verdict::kFailed;
  }
  const common::Bytes answer_in_order = Reversed(*answer);
  if (std::equal(answer_in_order.begin(), answer_in_order.end(), expected->begin())) {
    outcome.Show(messages::kKeyChangedAnswerLost);
    return common::Verdict::kDone;
  }
  outcome.Show(messages::kCommunicationError);
  outcome.Show(messages::kKeyNotChanged);
  return common::Verdict::kFailed;
}

}  // namespace cw::app
