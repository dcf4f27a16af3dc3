#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <numeric>

#include "common/clock.h"
#include "sim/authenticator.h"
#include "sim/sim_gauge.h"
#include "sim_test_support.h"

namespace cw::sim {
namespace {

using testing::BlockWrite;
using testing::ReadBlock;
using testing::WordWrite;

common::Bytes Hex(std::string_view text) {
  return *common::ParseExactHexField(text, text.size() / 2);
}

common::Bytes Reversed(common::ByteView bytes) { return {bytes.rbegin(), bytes.rend()}; }

// K || SHA1(K || C), hashed once more, with OpenSSL's one-shot digest.
common::Bytes OpenSslAuthDigest(common::ByteView key, common::ByteView challenge) {
  const auto sha1 = [](common::ByteView first, common::ByteView second) {
    common::Bytes message(first.begin(), first.end());
    message.insert(message.end(), second.begin(), second.end());
    common::Bytes digest(20);
    unsigned int length = 0;
    EXPECT_EQ(
        EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_sha1(), nullptr), 1);
    return digest;
  };
  return sha1(key, sha1(key, challenge));
}

TEST(AuthDigest, MatchesKnownVectorsAndAnIndependentComputation) {
  const auto zero = ComputeAuthDigest(kDefaultAuthKey, common::Bytes(20, 0));
  ASSERT_TRUE(zero);
  EXPECT_EQ(common::Bytes(zero->begin(), zero->end()),
            Hex("DA9A5812F92AA0651133BE76C0E8E5FC9C859CFB"));
  common::Bytes counting(20);
  std::iota(counting.begin(), counting.end(), 1);
  const auto digest = ComputeAuthDigest(kDefaultAuthKey, counting);
  ASSERT_TRUE(digest);
  EXPECT_EQ(common::Bytes(digest->begin(), digest->end()),
            Hex("BF2849F19B35978B1952266220FD8BCC102707CF"));
  EXPECT_EQ(common::Bytes(digest->begin(), digest->end()),
            OpenSslAuthDigest(kDefaultAuthKey, counting));
}

class GaugeAuthentication : public ::testing::Test {
 protected:
  // The host's side: challenge sent wire order, response reversed and compared in typed order.
  std::optional<common::Bytes> Authenticate(common::ByteView typed_challenge) {
    if (!gauge_.Write(BlockWrite(0x2F, Reversed(typed_challenge)))) return std::nullopt;
    auto response = ReadBlock(gauge_, 0x2F, 20);
    if (!response) return std::nullopt;
    return Reversed(*response);
  }

  common::ManualClock clock_;
  SimGauge gauge_{clock_, common::ProductConstants{}};
};

TEST_F(GaugeAuthentication, ReversedResponseEqualsTheDigestOfTheTypedChallenge) {
  const common::Bytes challenge = Hex("0123456789ABCDEF0011223344556677A5A5C3C3");
  const auto response = Authenticate(challenge);
  ASSERT_TRUE(response);
  EXPECT_EQ(*response, OpenSslAuthDigest(kDefaultAuthKey, challenge));
  // The gauge's own byte order is the reverse: unreversed it must not match.
  EXPECT_NE(Reversed(*response), OpenSslAuthDigest(kDefaultAuthKey, challenge));
}

TEST_F(GaugeAuthentication, KeyChangeAnswersTheZeroChallengeAndUsesTheNewKey) {
  const common::Bytes new_key = Hex("00112233445566778899AABBCCDDEEFF");
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x0037)));
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x2F, Reversed(new_key))));
  const auto confirmation = ReadBlock(gauge_, 0x2F, 20);
  ASSERT_TRUE(confirmation);
  EXPECT_EQ(Reversed(*confirmation), OpenSslAuthDigest(new_key, common::Bytes(20, 0)));

  const common::Bytes challenge = Hex("FFEEDDCCBBAA99887766554433221100DEADBEEF");
  EXPECT_EQ(Authenticate(challenge), OpenSslAuthDigest(new_key, challenge));
  EXPECT_EQ(gauge_.State().auth_key, KeyFromWire(Reversed(new_key)));
}

TEST_F(GaugeAuthentication, KeyWriteIsRefusedWithoutPreludeOrWhenSealed) {
  const common::Bytes new_key(16, 0x42);
  EXPECT_FALSE(gauge_.Write(BlockWrite(0x2F, new_key)));
  // Anything else on ManufacturerAccess between the prelude and the key cancels it.
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x0037)));
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x0001)));
  EXPECT_FALSE(gauge_.Write(BlockWrite(0x2F, new_key)));

  gauge_.SetSealState(SealState::kSealed);
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x0037)));
  EXPECT_FALSE(gauge_.Write(BlockWrite(0x2F, new_key)));
  EXPECT_EQ(gauge_.State().auth_key, kDefaultAuthKey);
  // Authentication itself works sealed: that is what it is for.
  EXPECT_TRUE(Authenticate(common::Bytes(20, 7)));
}

TEST_F(GaugeAuthentication, NothingToReadBeforeAChallenge) {
  EXPECT_FALSE(gauge_.Read(0x2F, 22));
  EXPECT_FALSE(gauge_.Write(BlockWrite(0x2F, common::Bytes(19, 1))));
}

}  // namespace
}  // namespace cw::sim
