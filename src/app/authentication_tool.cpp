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

// Parses a key and a challenge field; on failure shows the field's message.
bool ReadKeyAndChallenge(const std::string& key_text, const std::string& challenge_text,
                         common::MessageSink& messages, common::Bytes& key,
                         common::Bytes& challenge) {
  auto parsed_key = common::ParseExactHexField(key_text, kAuthKeyBytes);
  if (!parsed_key) {
    messages.Show(messages::kInvalidKey);
    return false;
  }
  auto parsed_challenge = common::ParseExactHexField(challenge_text, kChallengeBytes);
  if (!parsed_challenge) {
    messages.Show(messages::kInvalidChallenge);
    return false;
  }
  key = std::move(*parsed_key);
  challenge = std::move(*parsed_challenge);
  return true;
}

}  // namespace

std::optional<std::string> CalculatorDigest(const std::string& key_text,
                                            const std::string& challenge_text,
                                            common::MessageSink& messages) {
  common::Bytes key, challenge;
  if (!ReadKeyAndChallenge(key_text, challenge_text, messages, key, challenge)) {
    return std::nullopt;
  }
  const auto digest = AuthDigest(key, challenge);
  if (!digest) return std::nullopt;
  return DigestText(*digest);
}

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

common::Outcome AuthenticationTool::ShowDigest() {
  common::OutcomeBuilder outcome(messages_);
  auto digest = CalculatorDigest(fields_.calculator_key, fields_.calculator_challenge, outcome);
  if (!digest) return outcome.Refused();
  fields_.calculator_digest = std::move(*digest);
  changes_.Notify();
  return outcome.Done();
}

void AuthenticationTool::NewChallenge() {
  const std::string text = common::ToHex(challenges_.Next(), "");
  fields_.calculator_challenge = text;
  fields_.authentication_challenge = text;
  changes_.Notify();
}

common::Outcome AuthenticationTool::CompareAnswer(const link::Digest& answer,
                                                  const AuthDigestBytes& expected,
                                                  std::string_view success,
                                                  std::string_view failure,
                                                  common::OutcomeBuilder& outcome) {
  // The gauge sends its digest least significant byte first.
  const common::Bytes answer_in_order = Reversed(answer);
  if (std::equal(answer_in_order.begin(), answer_in_order.end(), expected.begin())) {
    outcome.Show(success);
    return outcome.Done();
  }
  outcome.Show(fmt::format("{}{}", failure, DigestText(answer_in_order)));
  return outcome.Failed();
}

common::Outcome AuthenticationTool::Authenticate() {
  common::OutcomeBuilder outcome(messages_);
  common::Bytes key, challenge;
  if (!ReadKeyAndChallenge(fields_.authentication_key, fields_.authentication_challenge, outcome,
                           key, challenge)) {
    return outcome.Refused();
  }
  const auto digest = AuthDigest(key, challenge);
  if (!digest) return outcome.Failed();
  fields_.authentication_digest = DigestText(*digest);
  changes_.Notify();
  const auto answer = link_.SendChallenge(Reversed(challenge));
  if (!answer) {
    outcome.Show(messages::kCommunicationError);
    return outcome.Failed();
  }
  return CompareAnswer(*answer, *digest, messages::kAuthenticationSucceeded,
                       messages::kAuthenticationFailed, outcome);
}

common::Outcome AuthenticationTool::ChangeKey() {
  common::OutcomeBuilder outcome(messages_);
  auto key = common::ParseExactHexField(fields_.change_key, kAuthKeyBytes);
  if (!key) {
    outcome.Show(messages::kInvalidKey);
    return outcome.Refused();
  }
  const common::Bytes zero_challenge(kChallengeBytes, 0);
  fields_.change_challenge = std::string(kChallengeBytes * 2, '0');
  const auto digest = AuthDigest(*key, zero_challenge);
  if (!digest) return outcome.Failed();
  fields_.change_digest = DigestText(*digest);
  changes_.Notify();
  outcome.GaugeChanged();
  const auto answer = link_.ChangeAuthKey(Reversed(*key));
  if (!answer) return ConfirmKeyAfterLostAnswer(*key, outcome);
  return CompareAnswer(*answer, *digest, messages::kKeyChangeSucceeded, messages::kKeyChangeFailed,
                       outcome);
}

common::Outcome AuthenticationTool::ConfirmKeyAfterLostAnswer(const common::Bytes& key,
                                                              common::OutcomeBuilder& outcome) {
  // The key may have been stored before the answer was lost; a challenge under the new key tells.
  const auto challenge = common::ParseExactHexField(kDefaultChallengeText, kChallengeBytes);
  const auto expected = challenge ? AuthDigest(key, *challenge) : std::nullopt;
  const auto answer = expected ? link_.SendChallenge(Reversed(*challenge)) : std::nullopt;
  if (!answer) {
    outcome.Show(messages::kCommunicationError);
    outcome.Show(messages::kKeyChangeUnknown);
    return outcome.Failed();
  }
  const common::Bytes answer_in_order = Reversed(*answer);
  if (std::equal(answer_in_order.begin(), answer_in_order.end(), expected->begin())) {
    outcome.Show(messages::kKeyChangedAnswerLost);
    return outcome.Done();
  }
  outcome.Show(messages::kCommunicationError);
  outcome.Show(messages::kKeyNotChanged);
  return outcome.Failed();
}

}  // namespace cw::app
