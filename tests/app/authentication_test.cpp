// SHA-1 authentication: the digest, the field rules, New Challenge and the gauge conversation.
#include <gtest/gtest.h>

#include <random>

#include "app/authentication_tool.h"
#include "app/messages.h"
#include "link/pec.h"
#include "support/link_fixture.h"
#include "support/lossy_gauge.h"

namespace cw::app {
namespace {

using common::Bytes;
using test::LinkFixture;

// A plain FIPS 180 SHA-1, written out here so the product's digest is checked against a
// computation that shares no code with it.
Bytes ReferenceSha1(const Bytes& message) {
  auto rotl = [](std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
  std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  Bytes data = message;
  const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
  data.push_back(0x80);
  while (data.size() % 64 != 56) data.push_back(0);
  for (int i = 7; i >= 0; --i) data.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  for (std::size_t block = 0; block < data.size(); block += 64) {
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
      w[t] = (std::uint32_t{data[block + 4 * t]} << 24) | (data[block + 4 * t + 1] << 16) |
             (data[block + 4 * t + 2] << 8) | data[block + 4 * t + 3];
    }
    for (int t = 16; t < 80; ++t) w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; ++t) {
      std::uint32_t f, k;
      if (t < 20) {
        f = (b & c) | (~b & d), k = 0x5A827999;
      } else if (t < 40) {
        f = b ^ c ^ d, k = 0x6ED9EBA1;
      } else if (t < 60) {
        f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d, k = 0xCA62C1D6;
      }
      const std::uint32_t temp = rotl(a, 5) + f + e + k + w[t];
      e = d, d = c, c = rotl(b, 30), b = a, a = temp;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
  }
  Bytes digest;
  for (std::uint32_t word : h) {
    for (int i = 3; i >= 0; --i) digest.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  }
  return digest;
}

TEST(AuthDigestTest, AgreesWithAnIndependentSha1OnRandomKeysAndChallenges) {
  EXPECT_EQ(common::ToHex(ReferenceSha1(Bytes{'a', 'b', 'c'}), ""),
            "A9993E364706816ABA3E25717850C26C9CD0D89D");
  std::mt19937 random(7);
  for (int round = 0; round < 100; ++round) {
    Bytes key(16), challenge(20);
    for (auto& byte : key) byte = static_cast<std::uint8_t>(random());
    for (auto& byte : challenge) byte = static_cast<std::uint8_t>(random());
    Bytes inner_message = key;
    inner_message.insert(inner_message.end(), challenge.begin(), challenge.end());
    Bytes outer_message = key;
    const Bytes inner = ReferenceSha1(inner_message);
    outer_message.insert(outer_message.end(), inner.begin(), inner.end());
    const auto digest = AuthDigest(key, challenge);
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(Bytes(digest->begin(), digest->end()), ReferenceSha1(outer_message));
  }
}

TEST(AuthFieldsTest, KeyAndChallengeMustBeExactHex) {
  struct Case {
    std::string key;
    std::string challenge;
    const char* message;  // null: accepted
  };
  const std::string key(kDefaultAuthKeyText);
  const std::string challenge(kDefaultChallengeText);
  const Case cases[] = {
      {key.substr(0, 31), challenge, "Please enter a valid 128 bit Key!"},
      {key + "0", challenge, "Please enter a valid 128 bit Key!"},
      {"0x" + key.substr(2), challenge, "Please enter a valid 128 bit Key!"},
      {key.substr(0, 10) + " " + key.substr(11), challenge, "Please enter a valid 128 bit Key!"},
      {key, challenge.substr(1), "Please enter a valid 20 bytes challenge!"},
      {"5a3c96e1b04f7d2288e1c35a9f06b47d", challenge, nullptr},
  };
  for (const auto& c : cases) {
    const auto digest = CalculatorDigest(c.key, c.challenge);
    if (c.message) {
      ASSERT_FALSE(digest.has_value()) << c.key;
      EXPECT_EQ(digest.error(), (common::Error{common::ErrorKind::kUsage, c.message})) << c.key;
    } else {
      ASSERT_TRUE(digest.has_value()) << c.key;
      EXPECT_EQ(digest->size(), 40u);
      EXPECT_EQ(*digest, *CalculatorDigest(key, challenge)) << "case does not matter";
    }
  }
}

TEST(NewChallengeTest, SameSecondDerivesFromTheLastChallenge) {
  std::int64_t now = 1000;
  ChallengeGenerator generator([&] { return now; });
  const auto first = generator.Next();
  auto expected = first;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto rotated = static_cast<std::uint8_t>((expected[i] << 5) | (expected[i] >> 3));
    expected[i] = static_cast<std::uint8_t>(rotated ^ expected[0]);
  }
  EXPECT_EQ(generator.Next(), expected) << "second press in the same second uses byte[0]";
  now = 1001;
  const auto fresh = generator.Next();
  EXPECT_NE(fresh, expected);
  ChallengeGenerator again([] { return std::int64_t{1001}; });
  EXPECT_EQ(again.Next(), fresh) << "a fresh challenge depends only on the second";
}

TEST(NewChallengeTest, MoreThanTwentyPressesInASecondDrawAFreshChallenge) {
  ChallengeGenerator generator([] { return std::int64_t{5}; });
  std::array<std::uint8_t, 20> last{};
  for (int press = 0; press < 22; ++press) last = generator.Next();
  EXPECT_NE(last, (std::array<std::uint8_t, 20>{}));
}

// A link with what the window pauses, counted.
struct ToolFixture : LinkFixture {
  test::CountingScanPause scan;
};

TEST(AuthenticationToolTest, CalculatorAndAuthenticationAgreeAndTheGaugeMatches) {
  ToolFixture fx;
  AuthenticationTool tool(*fx.link, fx.messages, fx.scan);
  const auto shown = tool.ShowDigest(kDefaultAuthKeyText, kDefaultChallengeText);
  const auto matched = tool.Authenticate(kDefaultAuthKeyText, kDefaultChallengeText);
  EXPECT_TRUE(matched);
  EXPECT_EQ(shown.detail.size(), 40u);
  EXPECT_EQ(shown.detail, matched.detail);
  EXPECT_EQ(fx.messages.Texts(),
            std::vector<std::string>{std::string(messages::kAuthenticationSucceeded)});
}

TEST(AuthenticationToolTest, ChangeKeyUsesTheZeroChallengeAndTheNewKeyAuthenticates) {
  ToolFixture fx;
  fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
  AuthenticationTool tool(*fx.link, fx.messages, fx.scan);
  const std::string new_key = "00112233445566778899AABBCCDDEEFF";
  const auto changed = tool.ChangeKey(new_key);
  EXPECT_TRUE(changed);
  EXPECT_EQ(changed.detail, *CalculatorDigest(new_key, std::string(40, '0')));
  EXPECT_TRUE(tool.Authenticate(new_key, kDefaultChallengeText));
  EXPECT_FALSE(tool.Authenticate(kDefaultAuthKeyText, kDefaultChallengeText));
  const auto texts = fx.messages.Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], messages::kKeyChangeSucceeded);
  EXPECT_TRUE(texts[2].starts_with(messages::kAuthenticationFailed));
  EXPECT_EQ(texts[2].size(), messages::kAuthenticationFailed.size() + 40);
}

TEST(AuthenticationToolTest, AnswerInUnreversedOrderIsAFailure) {
  ToolFixture fx;
  test::ScriptedTarget target;
  ASSERT_TRUE(fx.link->EnsureConnected());
  AuthenticationTool tool(*fx.link, fx.messages, fx.scan);
  const auto challenge = *common::ParseExactHexField(kDefaultChallengeText, 20);
  const auto digest = *AuthDigest(*common::ParseExactHexField(kDefaultAuthKeyText, 16), challenge);
  fx.pack->ReplaceTarget(&target);
  target.on_read = [&](std::uint8_t, std::size_t count) -> std::optional<Bytes> {
    Bytes reply{20};
    reply.insert(reply.end(), digest.begin(), digest.end());  // standard order, not reversed
    reply.push_back(link::Pec(reply, link::Pec({0x16, 0x2F, 0x17})));
    reply.resize(count, 0x00);
    return reply;
  };
  EXPECT_FALSE(tool.Authenticate(kDefaultAuthKeyText, kDefaultChallengeText));
  ASSERT_EQ(fx.messages.Texts().size(), 1u);
  EXPECT_EQ(fx.messages.Texts()[0], std::string(messages::kAuthenticationFailed) +
                                        common::ToHex(Bytes(digest.rbegin(), digest.rend()), ""));
  fx.pack->ReplaceTarget(nullptr);
}

TEST(AuthenticationToolTest, NoAnswerIsACommunicationError) {
  ToolFixture fx;
  fx.pack->Unplug();
  AuthenticationTool tool(*fx.link, fx.messages, fx.scan);
  EXPECT_FALSE(tool.Authenticate(kDefaultAuthKeyText, kDefaultChallengeText));
  EXPECT_EQ(fx.messages.Texts(), std::vector<std::string>{"Communication Error!"});
}

// The key change's answer can be lost after the gauge stored the key: a challenge under the
// new key then tells what the gauge holds, and only that decides the outcome.
TEST(AuthenticationToolTest, LostKeyChangeAnswerIsSettledByAChallenge) {
  const std::string new_key = "00112233445566778899AABBCCDDEEFF";
  const std::string communication(messages::kCommunicationError);
  struct Case {
    const char* name;
    int answers_lost;  // reads of 0x2F that fail, from the first
    bool key_refused;  // the 16 key bytes never reach the gauge
    bool done;
    std::vector<std::string> messages;
    bool key_changed;
  };
  const Case cases[] = {
      {"answer lost, key stored",
       5,
       false,
       true,
       {std::string(messages::kKeyChangedAnswerLost)},
       true},
      {"key refused",
       0,
       true,
       false,
       {communication, std::string(messages::kKeyNotChanged)},
       false},
      {"nothing answers",
       1000,
       false,
       false,
       {communication, std::string(messages::kKeyChangeUnknown)},
       true},
  };
  for (const Case& c : cases) {
    ToolFixture fx;
    fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
    const auto before = fx.pack->gauge().State().auth_key;
    test::LossyGauge lossy(fx);
    int reads = 0;
    lossy.lose_reply = [&](std::uint8_t command) {
      return command == 0x2F && reads++ < c.answers_lost;
    };
    if (c.key_refused) {
      lossy.refuse = [](common::ByteView bytes) { return bytes[0] == 0x2F && bytes[1] == 16; };
    }
    AuthenticationTool tool(*fx.link, fx.messages, fx.scan);
    EXPECT_EQ(tool.ChangeKey(new_key).done(), c.done) << c.name;
    EXPECT_EQ(fx.messages.Texts(), c.messages) << c.name;
    EXPECT_EQ(fx.pack->gauge().State().auth_key != before, c.key_changed) << c.name;
  }
}

TEST(AuthenticationToolTest, ScanIsPausedWhileTheWindowIsOpen) {
  ToolFixture fx;
  {
    AuthenticationTool tool(*fx.link, fx.messages, fx.scan);
    EXPECT_EQ(fx.scan.pauses, 1);
    EXPECT_EQ(fx.scan.resumes, 0);
    tool.Close();
    EXPECT_EQ(fx.scan.resumes, 1);
  }
  EXPECT_EQ(fx.scan.resumes, 1) << "closing twice resumes once";
}

}  // namespace
}  // namespace cw::app
