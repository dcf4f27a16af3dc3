#include "sim/fault_config.h"

#include <gtest/gtest.h>

namespace cw::sim {
namespace {

struct GoodCase {
  const char* text;
  FaultConfig expected;
};

TEST(ParseFaults, AcceptsEveryKeyOfTheDeviceString) {
  const GoodCase cases[] = {
      {"", FaultConfig{}},
      {"nack-every=7", FaultConfig{.nack_every = 7}},
      {"nack-every=7,seed=1", FaultConfig{.nack_every = 7, .seed = 1}},
      {"nack-probability=0.1,seed=4294967295",
       FaultConfig{.nack_probability = 0.1, .seed = 4294967295U}},
      {"nack-probability=1", FaultConfig{.nack_probability = 1.0}},
      {"corrupt-pec-every=5", FaultConfig{.corrupt_pec_every = 5}},
      {"drop-after=100", FaultConfig{.drop_after_exchanges = 100}},
      {"short-replies", FaultConfig{.short_replies = true}},
      {"oversized-replies", FaultConfig{.oversized_replies = true}},
      {"stuck-boot", FaultConfig{.stuck_in_boot_loader = true}},
      {"safety-alarm=0002", FaultConfig{.safety_alarm = 0x0002}},
      {"nack-every=7,seed=1,corrupt-pec-every=5,drop-after=100,short-replies,stuck-boot,"
       "nack-probability=0.25",
       FaultConfig{7, 0.25, 1, 5, 100, true, false, true}},
      // Blanks around items and a stray comma are forgiven.
      {" nack-every = 3 ,, stuck-boot,",
       FaultConfig{.nack_every = 3, .stuck_in_boot_loader = true}},
  };
  for (const GoodCase& test : cases) {
    const auto parsed = ParseFaults(test.text);
    ASSERT_TRUE(parsed.has_value()) << test.text << ": " << parsed.error();
    EXPECT_EQ(*parsed, test.expected) << test.text;
  }
}

struct BadCase {
  const char* text;
  const char* message_part;
};

TEST(ParseFaults, RefusesUnknownKeysAndBadValuesWithTheReason) {
  const BadCase cases[] = {
      {"nack-evry=7", "Unknown fault \"nack-evry\""},
      {"nack-every", "needs a value (nack-every=7)"},
      {"nack-every=", "needs a value"},
      {"nack-every=0", "\"nack-every\": \"0\" is not a whole number from 1"},
      {"nack-every=-3", "\"-3\" is not a whole number"},
      {"nack-every=7x", "\"7x\" is not a whole number"},
      {"drop-after=99999999999", "\"99999999999\" is not a whole number"},
      {"corrupt-pec-every=two", "\"two\" is not a whole number"},
      {"seed=-1", "\"seed\": \"-1\" is not a whole number from 0 to 4294967295"},
      {"seed=4294967296", "from 0 to 4294967295"},
      {"nack-probability=1.5", "\"1.5\" is not a number from 0 to 1"},
      {"nack-probability=-0.1", "is not a number from 0 to 1"},
      {"nack-probability=nan", "is not a number from 0 to 1"},
      {"stuck-boot=1", "\"stuck-boot\" takes no value"},
      {"safety-alarm=0", "takes the Safety Status bits in hex"},
      {"safety-alarm=xyz", "takes the Safety Status bits in hex"},
      {"short-replies,oversized-replies", "cannot be combined"},
  };
  for (const BadCase& test : cases) {
    const auto parsed = ParseFaults(test.text);
    ASSERT_FALSE(parsed.has_value()) << test.text;
    EXPECT_NE(parsed.error().find(test.message_part), std::string::npos)
        << test.text << " gave: " << parsed.error();
  }
}

}  // namespace
}  // namespace cw::sim
